#pragma once
// What the day timeline shows of one day, with no drawing in it: the
// recordings as segments on the day's 24 hours, the alarm events, the gaps
// between recordings and the vehicle's speed, in seconds of the day; where a
// click at a time of day plays; and the mapping between the seconds of the day
// and the x coordinate of a view of some width at some zoom.
#include <optional>
#include <vector>

#include "catalogue/day_video.h"

namespace corvane {

constexpr int kSecondsPerDay = 86400;

struct TimelineSegment {
    int start = 0;       // seconds of the day
    int end = 0;         // exclusive; at most kSecondsPerDay
    bool alarm = false;  // CDiskVideo::IsAlarm
    int recording = 0;   // index into the day's recordings
};

struct TimelineSpan {
    int start = 0, end = 0;  // seconds of the day, end exclusive
};

struct SpeedPoint {
    double second = 0;  // of the day
    float speed = 0;
};

// Where a click at a time of day plays: the recording and the second in it.
struct TimelineHit {
    int recording = 0;  // index into the day's recordings
    int offset = 0;     // seconds from the recording's start
};

class DayTimeline {
public:
    DayTimeline() = default;
    // Reads the day as it stands; build it again when the catalogue changes.
    explicit DayTimeline(const CDayVideo& day);

    // In start order.
    const std::vector<TimelineSegment>& Segments() const { return segments_; }
    // The start of each alarm event (seconds of the day), ascending.
    const std::vector<int>& AlarmMarkers() const { return alarms_; }
    // The stretches between the first recording's start and the last one's
    // end that no recording covers.
    const std::vector<TimelineSpan>& Gaps() const { return gaps_; }
    // One run of points per recording with speeds; a line is drawn along a
    // run, never across a gap.
    const std::vector<std::vector<SpeedPoint>>& SpeedRuns() const { return speedRuns_; }
    float MaxSpeed() const { return maxSpeed_; }
    // The speed of the last sample at or before the second, within the run
    // that holds it; nothing outside the runs.
    std::optional<float> SpeedAt(double second) const;

    // The recording that covers the second (the first in start order when
    // several do) from that second; in a gap or before the first recording,
    // the next recording from its start; nothing after the last one.
    std::optional<TimelineHit> HitAt(int second) const;
    // The segment that covers the second, if any.
    const TimelineSegment* SegmentAt(int second) const;

private:
    std::vector<TimelineSegment> segments_;
    std::vector<int> alarms_;
    std::vector<TimelineSpan> gaps_;
    std::vector<std::vector<SpeedPoint>> speedRuns_;
    float maxSpeed_ = 0;
};

// The in and out marks set on one day.
struct DayMarks {
    uint32_t date = 0;  // CDayVideo::date of the day they belong to
    std::optional<int> in, out;  // seconds of the day

    // Sets one mark; a mark on another day first clears those of the old one.
    void Set(const CDayVideo& day, bool isIn, int second);
    // The marked span on `day`, in time order: from the in mark (or the first
    // recording's start) to the out mark (or the last recording's end);
    // nothing when no mark is set on that day.
    std::optional<TimelineSpan> SpanOn(const CDayVideo& day) const;
};

// The part of the day a view shows across its width: the whole day zoomed
// out, down to one minute zoomed in.
class TimelineView {
public:
    static constexpr double kMinSpan = 60;

    void SetWidth(int pixels) { width_ = pixels > 0 ? pixels : 1; }
    int Width() const { return width_; }
    double First() const { return first_; }
    double Span() const { return span_; }
    bool Zoomed() const { return span_ < kSecondsPerDay; }

    double XOf(double second) const { return (second - first_) * width_ / span_; }
    double SecondAt(double x) const { return first_ + x * span_ / width_; }
    // Scales the span by `factor` (below 1 zooms in) keeping the time under x
    // where it is.
    void ZoomAround(double x, double factor);
    // Moves the shown part by `pixels` (positive: later times come into view).
    void Pan(double pixels);
    void ShowWholeDay();

private:
    void Clamp();

    int width_ = 1;
    double first_ = 0;
    double span_ = kSecondsPerDay;
};

}  // namespace corvane
