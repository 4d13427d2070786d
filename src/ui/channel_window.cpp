#include "ui/channel_window.h"

#include <QMouseEvent>
#include <QPainter>

namespace corvane {

DrawSurface::DrawSurface(CVideoDraw& draw, QWidget* parent) : QWidget(parent), draw_(draw) {
    // Only the surface SDL draws on is a native window: the channel window
    // around it (title bar, frame) and the video area stay ordinary widgets,
    // painted with the rest of the main window, which also works when the
    // map's browser view makes the window compose through OpenGL.
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// Exposed again: the decoder shows its current picture once more.
void DrawSurface::paintEvent(QPaintEvent*) { draw_.OnPaint(); }

ChannelWindow::ChannelWindow(CVideoPort& port, QWidget* parent) : QWidget(parent), port_(port) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_ = new DrawSurface(port.Draw(), this);
    surface_->setVisible(!port_.Text().empty());  // nothing to show before a channel opens
    port_.SetView(this);
}

void ChannelWindow::Move(const Rect& r, bool repaint) {
    setGeometry(r.left, r.top, r.Width(), r.Height());
    // The draw window fills all but the frame and the title bar.
    surface_->setGeometry(2, kTitleHeight, std::max(0, r.Width() - 4), std::max(0, r.Height() - kTitleHeight - 2));
    if (repaint) update();
}

void ChannelWindow::SetVisible(bool visible) { setVisible(visible); }
// A closed channel has no picture: its draw window goes away, so the black
// the channel window paints shows instead of whatever was there before.
void ChannelWindow::InvalidateFrame() {
    surface_->setVisible(!port_.Text().empty());
    update();
}

void ChannelWindow::InvalidateAll() {
    surface_->setVisible(!port_.Text().empty());
    update();
    surface_->update();
}

void ChannelWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), QColor(0, 0, 0));
    p.setPen(port_.IsSelected() ? QColor(0, 255, 0) : QColor(0x44, 0x44, 0x44));
    p.drawRect(0, 0, w - 1, h - 1);
    QRect title(2, 2, w - 4, kTitleHeight - 2);
    p.fillRect(title, QColor(0x46, 0x46, 0x46));
    QFont font = p.font();
    font.setPointSize(9);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(title.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(port_.TitleBarText()));
}

void ChannelWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) port_.OnLeftButtonDown();
}

void ChannelWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) port_.OnLeftDoubleClick();
}

}  // namespace corvane
