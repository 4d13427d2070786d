#pragma once
// One channel window: a 1-pixel frame (green when selected), a title bar with
// the channel's text and renderer, and inside them the native draw window.
#include <QWidget>

#include "playback/video_port.h"

namespace corvane {

// The native child window SDL takes over. Qt never paints it.
class DrawSurface : public QWidget {
public:
    DrawSurface(CVideoDraw& draw, QWidget* parent);
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    CVideoDraw& draw_;
};

class ChannelWindow : public QWidget, public PortView {
    Q_OBJECT
public:
    ChannelWindow(CVideoPort& port, QWidget* parent);
    DrawSurface* Surface() const { return surface_; }

    // PortView
    void Move(const Rect& rect, bool repaint) override;
    void SetVisible(bool visible) override;
    void InvalidateFrame() override;
    void InvalidateAll() override;

    static constexpr int kTitleHeight = 18;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    CVideoPort& port_;
    DrawSurface* surface_;
};

}  // namespace corvane
