#include "catalogue/day_timeline.h"

#include <algorithm>
#include <iterator>

namespace corvane {

DayTimeline::DayTimeline(const CDayVideo& day) {
    for (size_t i = 0; i < day.recordings.size(); ++i) {
        const CDiskVideo& r = *day.recordings[i];
        const int start = r.StartSecondOfDay();
        // A recording that runs past midnight ends with the day.
        const int end = static_cast<int>(std::min<int64_t>(start + std::max<int64_t>(r.endTime - r.startTime, 0), kSecondsPerDay));
        segments_.push_back({start, end, r.IsAlarm(), static_cast<int>(i)});
        // Event words: start in ms from the recording's start, length in the
        // low half of the third (the alarm list reads them the same way).
        for (const EventEntry& e : r.events) {
            const int64_t at = start + static_cast<int64_t>(e[0] / 1000);
            if (at < kSecondsPerDay) alarms_.push_back(static_cast<int>(at));
        }
        std::vector<SpeedPoint> run;
        for (const SpeedSample& s : r.speeds) {
            const double at = start + s.ms / 1000.0;
            if (at > end) break;
            run.push_back({at, s.speed});
            maxSpeed_ = std::max(maxSpeed_, s.speed);
        }
        if (!run.empty()) speedRuns_.push_back(std::move(run));
    }
    std::stable_sort(segments_.begin(), segments_.end(),
                     [](const TimelineSegment& a, const TimelineSegment& b) { return a.start < b.start; });
    std::sort(alarms_.begin(), alarms_.end());
    int covered = segments_.empty() ? 0 : segments_.front().start;
    for (const TimelineSegment& s : segments_) {
        if (s.start > covered) gaps_.push_back({covered, s.start});
        covered = std::max(covered, s.end);
    }
}

const TimelineSegment* DayTimeline::SegmentAt(int second) const {
    for (const TimelineSegment& s : segments_) {
        if (s.start > second) break;
        if (second < s.end) return &s;
    }
    return nullptr;
}

std::optional<TimelineHit> DayTimeline::HitAt(int second) const {
    if (const TimelineSegment* s = SegmentAt(second)) return TimelineHit{s->recording, second - s->start};
    for (const TimelineSegment& s : segments_) {
        if (s.start > second) return TimelineHit{s.recording, 0};
    }
    return std::nullopt;
}

std::optional<float> DayTimeline::SpeedAt(double second) const {
    for (const std::vector<SpeedPoint>& run : speedRuns_) {
        if (second < run.front().second || second > run.back().second + 1) continue;
        auto after = std::upper_bound(run.begin(), run.end(), second,
                                      [](double s, const SpeedPoint& p) { return s < p.second; });
        return std::prev(after)->speed;
    }
    return std::nullopt;
}

void DayMarks::Set(const CDayVideo& day, bool isIn, int second) {
    if (date != day.date) *this = DayMarks{day.date, std::nullopt, std::nullopt};
    (isIn ? in : out) = second;
}

std::optional<TimelineSpan> DayMarks::SpanOn(const CDayVideo& day) const {
    if (date != day.date || (!in && !out)) return std::nullopt;
    const DayTimeline timeline(day);
    int first = 0, last = kSecondsPerDay;
    if (!timeline.Segments().empty()) {
        first = timeline.Segments().front().start;
        last = 0;
        for (const TimelineSegment& s : timeline.Segments()) last = std::max(last, s.end);
    }
    const int a = in.value_or(first), b = out.value_or(last);
    return TimelineSpan{std::min(a, b), std::max(a, b)};
}

void TimelineView::ZoomAround(double x, double factor) {
    const double at = SecondAt(x);
    span_ = std::clamp(span_ * factor, kMinSpan, static_cast<double>(kSecondsPerDay));
    first_ = at - x * span_ / width_;
    Clamp();
}

void TimelineView::Pan(double pixels) {
    first_ += pixels * span_ / width_;
    Clamp();
}

void TimelineView::ShowWholeDay() {
    first_ = 0;
    span_ = kSecondsPerDay;
}

void TimelineView::Clamp() { first_ = std::clamp(first_, 0.0, kSecondsPerDay - span_); }

}  // namespace corvane
