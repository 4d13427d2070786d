// The main window's day timeline: showing the current day on it, the GPS
// speeds the measuring worker reads for it, a click that plays from a time of
// the day, the playing position, and the in and out marks.
#include <algorithm>

#include "playback/video_group.h"
#include "ui/day_timeline.h"
#include "ui/main_window.h"

namespace corvane {

void CMainWindow::ConnectTimeline() {
    timeline_->SetPositionSource([this] { return PlayingSecondOfDay(); });
    connect(timeline_, &CDayTimeline::playRequested, this, &CMainWindow::PlayFromTimeline);
    connect(timeline_, &CDayTimeline::clearMarksRequested, this, &CMainWindow::ClearMarks);
}

// Called whenever the current day or what is known of its recordings changes.
void CMainWindow::ShowDayOnTimeline() {
    timeline_->SetDay(currentDay_);
    timeline_->SetMarks(marks_);
}

void CMainWindow::OnSpeedsRead(CDiskVideo* r) {
    std::optional<std::vector<SpeedSample>> speeds = workers_->TakeSpeeds(r);
    if (!speeds) return;
    r->speeds = std::move(*speeds);
    r->speedsRead = true;
    if (r->day == currentDay_) ShowDayOnTimeline();
}

// The timeline is built from the list's order, which OpenDay sorted.
void CMainWindow::PlayFromTimeline(int index, int offset) {
    if (!currentDay_ || index < 0 || index >= static_cast<int>(currentDay_->recordings.size())) return;
    UserStop();
    PlayRecordingAt(currentDay_->recordings[static_cast<size_t>(index)].get(), offset, false);
}

std::optional<double> CMainWindow::PlayingSecondOfDay() {
    CDiskVideo* r = Group().PlayingRecording();
    if (!r || r->day != currentDay_ || Group().State() == kStopped) return std::nullopt;
    return r->StartSecondOfDay() + Group().ShownSecond();
}

void CMainWindow::SetMarkAtPosition(bool in) {
    if (std::optional<double> at = PlayingSecondOfDay()) SetMarkAt(in, static_cast<int>(*at));
}

void CMainWindow::SetMarkAt(bool in, int secondOfDay) {
    if (!currentDay_) return;
    marks_.Set(*currentDay_, in, std::clamp(secondOfDay, 0, kSecondsPerDay - 1));
    timeline_->SetMarks(marks_);
}

void CMainWindow::ClearMarks() {
    marks_ = {};
    timeline_->SetMarks(marks_);
}

std::optional<TimelineSpan> CMainWindow::MarkedSpan() const {
    return currentDay_ ? marks_.SpanOn(*currentDay_) : std::nullopt;
}

}  // namespace corvane
