#pragma once
// The day timeline under the video: the current day's 24 hours with every
// recording as a segment (normal or alarm), the alarm events as markers, the
// gaps between recordings, the vehicle's speed as a thin line, the in and out
// marks and the playing position. The wheel zooms around the pointer (down to
// one minute across the width); dragging, or a sideways or Shift+wheel
// scroll, pans; hovering tells the time; a click asks to play there.
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "catalogue/day_timeline.h"

namespace corvane {

class CDayTimeline : public QWidget {
    Q_OBJECT
public:
    explicit CDayTimeline(QWidget* parent = nullptr);

    // Shows the day as it stands now (null: no day). Another day than the
    // one shown starts at the whole day; the same day keeps its zoom.
    void SetDay(const CDayVideo* day);
    // Where playback is, as a second of the shown day (asked five times a
    // second while visible); nothing hides the cursor.
    void SetPositionSource(std::function<std::optional<double>()> source);
    void SetMarks(const DayMarks& marks);

    const DayTimeline& Model() const { return model_; }
    TimelineView& View() { return view_; }
    // Draws the timeline into the painter's device over `size`.
    void Paint(QPainter& p, const QSize& size);
    // The hover text for the time under x.
    QString TipAt(double x) const;

    QSize sizeHint() const override { return {600, 46}; }
    QSize minimumSizeHint() const override { return {100, 46}; }

signals:
    // A click at a time: play recording `recording` of the day from `offset` seconds.
    void playRequested(int recording, int offset);
    void clearMarksRequested();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void PollPosition();

    const CDayVideo* day_ = nullptr;
    DayTimeline model_;
    TimelineView view_;
    std::optional<TimelineSpan> marked_;  // shown marks, in time order
    std::optional<int> markIn_, markOut_;
    std::optional<double> cursor_;
    std::function<std::optional<double>()> position_;
    QTimer positionTimer_;
    std::optional<double> pressX_;  // a left press not yet released
    bool dragging_ = false;
};

}  // namespace corvane
