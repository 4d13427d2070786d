#pragma once
// "videoctrl": the channel group on screen. Eight channel windows, each a
// frame and title bar painted by Qt around a native child window that SDL
// draws the pictures into. The widget owns the playback group and follows
// its layout through the PortView of each channel.
#include <QWidget>
#include <memory>

#include "playback/message_box.h"
#include "playback/video_group.h"

namespace corvane {

class ChannelWindow;

// Message boxes of the playback engine, shown by Qt on the GUI thread.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
    void Show(const std::string& text) override;
    void Inform(const std::string& text) override;

private:
    QWidget* parent_;
};

class CVideoGroupWidget : public QWidget {
    Q_OBJECT
public:
    // `video` makes each channel's output (SDL in the player, memory in
    // tests); `sound` may be null (no sound device).
    CVideoGroupWidget(VideoOutputFactory& video, SoundDevice* sound, MessageBoxes* messages,
                      QWidget* parent = nullptr);
    ~CVideoGroupWidget() override;

    CVideoGroup& Group() { return *group_; }
    ChannelWindow* Window(int index) const;
    // The native window id SDL draws channel `index` into, and its size.
    uintptr_t DrawWindowId(int index) const;
    QSize DrawWindowSize(int index) const;

signals:
    // A double click outside every channel window.
    void emptyAreaDoubleClicked();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    PlaybackEnvironment env_;
    std::unique_ptr<CVideoGroup> group_;
    std::vector<ChannelWindow*> windows_;
};

}  // namespace corvane
