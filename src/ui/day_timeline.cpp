#include "ui/day_timeline.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <tuple>

#include "ui/lang_text.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_MAIN", key, def); }

// Rows from the top: hour labels, then the band the recordings are drawn in.
constexpr int kLabelBottom = 11;
constexpr int kBandTop = 14;
constexpr int kBandMargin = 3;  // below the band

const QColor kBackground(0x1e, 0x22, 0x28);
const QColor kEmptyBand(0x2b, 0x30, 0x37);
const QColor kTick(0x8a, 0x93, 0x9e);
const QColor kNormal(0x3b, 0x82, 0xc4);
const QColor kAlarm(0xd0, 0x3a, 0x34);
const QColor kGap(0x9a, 0x9a, 0x9a);
const QColor kAlarmMarker(0xff, 0xa0, 0x1c);
const QColor kSpeed(0xff, 0xe0, 0x66);
const QColor kMark(0x2e, 0xd3, 0xe6);
const QColor kCursor(Qt::white);

QString ClockText(int second, bool withSeconds) {
    return withSeconds ? QString::asprintf("%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60)
                       : QString::asprintf("%02d:%02d", second / 3600, second / 60 % 60);
}

// The smallest of the usual clock steps whose labels do not run into each other.
int TickStep(const TimelineView& v, int labelWidth) {
    static const int kSteps[] = {1, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600};
    for (int step : kSteps) {
        if (step * v.Width() / v.Span() >= labelWidth) return step;
    }
    return 21600;
}

}  // namespace

CDayTimeline::CDayTimeline(QWidget* parent) : QWidget(parent) {
    setObjectName("timeline_day");
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(sizeHint().height());
    connect(&positionTimer_, &QTimer::timeout, this, &CDayTimeline::PollPosition);
}

void CDayTimeline::SetDay(const CDayVideo* day) {
    if (day != day_) view_.ShowWholeDay();
    day_ = day;
    model_ = day ? DayTimeline(*day) : DayTimeline();
    update();
}

void CDayTimeline::SetPositionSource(std::function<std::optional<double>()> source) {
    position_ = std::move(source);
    if (position_) positionTimer_.start(200);
    else positionTimer_.stop();
}

void CDayTimeline::SetMarks(const DayMarks& marks) {
    const bool here = day_ && marks.date == day_->date;
    markIn_ = here ? marks.in : std::nullopt;
    markOut_ = here ? marks.out : std::nullopt;
    marked_ = here && marks.in && marks.out ? marks.SpanOn(*day_) : std::nullopt;
    update();
}

void CDayTimeline::PollPosition() {
    if (!isVisible()) return;
    std::optional<double> now = position_();
    if (now == cursor_) return;
    // Playback that walks off the edge of a zoomed view takes the view along;
    // a cursor the user panned away from stays where it is.
    auto inView = [this](double s) { return s >= view_.First() && s <= view_.First() + view_.Span(); };
    if (now && cursor_ && !pressX_ && inView(*cursor_) && !inView(*now)) view_.Pan(view_.XOf(*now) - width() / 4.0);
    cursor_ = now;
    update();
}

void CDayTimeline::Paint(QPainter& p, const QSize& size) {
    view_.SetWidth(size.width());
    const double first = view_.First(), last = first + view_.Span();
    const QRectF band(0, kBandTop, size.width(), size.height() - kBandTop - kBandMargin);
    auto xOf = [this](double second) { return view_.XOf(second); };
    // A stretch of the day as a rectangle of the band, at least a pixel wide.
    auto stretch = [&](double from, double to) {
        const double x0 = xOf(from), x1 = std::max(xOf(to), x0 + 1);
        return QRectF(x0, band.top(), x1 - x0, band.height());
    };
    auto shown = [&](double from, double to) { return to >= first && from <= last; };

    p.fillRect(QRect(QPoint(0, 0), size), kBackground);
    p.fillRect(band, kEmptyBand);

    QFont font = p.font();
    font.setPixelSize(9);
    p.setFont(font);
    int step = TickStep(view_, 40);
    if (step < 60) step = TickStep(view_, 56);  // labels with seconds are wider
    p.setPen(kTick);
    for (double t = std::ceil(first / step) * step; t <= last; t += step) {
        const double x = xOf(t);
        p.drawLine(QPointF(x, kLabelBottom - 2), QPointF(x, kBandTop));
        p.drawText(QPointF(x + 2, kLabelBottom - 1), ClockText(static_cast<int>(t), step < 60));
    }

    const QBrush gapBrush(kGap, Qt::BDiagPattern);
    for (const TimelineSpan& g : model_.Gaps()) {
        if (shown(g.start, g.end)) p.fillRect(stretch(g.start, g.end), gapBrush);
    }
    for (const TimelineSegment& s : model_.Segments()) {
        if (shown(s.start, s.end)) p.fillRect(stretch(s.start, s.end), s.alarm ? kAlarm : kNormal);
    }

    if (marked_) p.fillRect(stretch(marked_->start, marked_->end), QColor(kMark.red(), kMark.green(), kMark.blue(), 70));

    // The speed line: at most one point per pixel, so a day of fixes stays cheap.
    if (model_.MaxSpeed() > 0) {
        p.setPen(QPen(kSpeed, 1));
        const double scale = (band.height() - 3) / model_.MaxSpeed();
        for (const std::vector<SpeedPoint>& run : model_.SpeedRuns()) {
            if (!shown(run.front().second, run.back().second)) continue;
            QPolygonF line;
            for (const SpeedPoint& sp : run) {
                const QPointF at(xOf(sp.second), band.bottom() - 1 - sp.speed * scale);
                if (line.isEmpty() || at.x() - line.back().x() >= 1) line << at;
                else line.back().setY(std::min(line.back().y(), at.y()));
            }
            if (line.size() == 1) line << line.front() + QPointF(1, 0);
            p.drawPolyline(line);
        }
    }

    p.setPen(Qt::NoPen);
    p.setBrush(kAlarmMarker);
    for (int a : model_.AlarmMarkers()) {
        if (!shown(a, a)) continue;
        const double x = xOf(a);
        const QPointF tip[] = {{x - 4, band.top()}, {x + 4, band.top()}, {x, band.top() + 7}};
        p.drawPolygon(tip, 3);
    }

    // The in flag hangs left of its line and the out flag right, so that
    // marks close together stay readable.
    for (auto [mark, label, isIn] : {std::tuple{markIn_, Text("MARK_IN", "In"), true},
                                     std::tuple{markOut_, Text("MARK_OUT", "Out"), false}}) {
        if (!mark || !shown(*mark, *mark)) continue;
        const double x = xOf(*mark);
        p.setPen(QPen(kMark, 2));
        p.drawLine(QPointF(x, 0), QPointF(x, size.height()));
        const double flagWidth = p.fontMetrics().horizontalAdvance(label) + 4;
        const QRectF flag(isIn ? x - 1 - flagWidth : x + 1, 0, flagWidth, kLabelBottom + 1);
        p.fillRect(flag, kMark);
        p.setPen(Qt::black);
        p.drawText(flag, Qt::AlignCenter, label);
    }

    if (cursor_ && shown(*cursor_, *cursor_)) {
        const double x = xOf(*cursor_);
        p.setPen(QPen(kCursor, 2));
        p.drawLine(QPointF(x, kBandTop - 3), QPointF(x, size.height()));
    }
}

QString CDayTimeline::TipAt(double x) const {
    const int second = std::clamp(static_cast<int>(view_.SecondAt(x)), 0, kSecondsPerDay - 1);
    QString tip = ClockText(second, true);
    if (const TimelineSegment* s = model_.SegmentAt(second)) {
        tip += "\n" + (s->alarm ? Text("TYPE_ALARM", "Alarm") : Text("TYPE_NORMAL", "Normal"));
    } else {
        tip += "\n" + Text("TIMELINE_NORECORD", "No recording");
    }
    if (std::optional<float> speed = model_.SpeedAt(second)) {
        tip += "\n" + Text("TIMELINE_SPEED", "Speed: %1 km/h").arg(*speed, 0, 'f', 1);
    }
    return tip;
}

void CDayTimeline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p, size());
}

void CDayTimeline::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    view_.SetWidth(width());
}

// Wheel: zoom around the pointer. Sideways scrolling, or the wheel with
// Shift, pans by an eighth of the width a notch.
void CDayTimeline::wheelEvent(QWheelEvent* e) {
    const QPoint delta = e->angleDelta();
    if (delta.x() != 0 || (e->modifiers() & Qt::ShiftModifier)) {
        const int notches = delta.x() != 0 ? delta.x() : delta.y();
        view_.Pan(-notches / 120.0 * width() / 8);
    } else {
        view_.ZoomAround(e->position().x(), std::pow(0.8, delta.y() / 120.0));
    }
    update();
    e->accept();
}

void CDayTimeline::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressX_ = e->position().x();
    dragging_ = false;
}

void CDayTimeline::mouseMoveEvent(QMouseEvent* e) {
    const double x = e->position().x();
    if (pressX_ && (e->buttons() & Qt::LeftButton)) {
        if (!dragging_ && view_.Zoomed() && std::abs(x - *pressX_) > 3) dragging_ = true;
        if (dragging_) {
            view_.Pan(*pressX_ - x);
            pressX_ = x;
            update();
        }
        return;
    }
    QToolTip::showText(e->globalPosition().toPoint(), TipAt(x), this);
}

void CDayTimeline::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressX_) return;
    const bool click = !dragging_;
    pressX_.reset();
    dragging_ = false;
    if (!click) return;
    const int second = std::clamp(static_cast<int>(view_.SecondAt(e->position().x())), 0, kSecondsPerDay - 1);
    if (std::optional<TimelineHit> hit = model_.HitAt(second)) emit playRequested(hit->recording, hit->offset);
}

void CDayTimeline::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* whole = menu.addAction(Text("TIMELINE_WHOLEDAY", "Show the whole day"));
    whole->setEnabled(view_.Zoomed());
    QAction* clear = menu.addAction(Text("MENU_CLEARMARKS", "Clear marks"));
    clear->setEnabled(markIn_ || markOut_);
    QAction* chosen = menu.exec(e->globalPos());
    if (chosen == whole) {
        view_.ShowWholeDay();
        update();
    } else if (chosen == clear) {
        emit clearMarksRequested();
    }
}

}  // namespace corvane
