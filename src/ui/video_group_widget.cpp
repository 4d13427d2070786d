#include "ui/video_group_widget.h"

#include <QMessageBox>
#include <QResizeEvent>

#include "ui/channel_window.h"

namespace corvane {

void QtMessageBoxes::Show(const std::string& text) {
    QMessageBox::critical(parent_, "CorvanePlayer", QString::fromStdString(text));
}

void QtMessageBoxes::Inform(const std::string& text) {
    QMessageBox::information(parent_, "CorvanePlayer", QString::fromStdString(text));
}

CVideoGroupWidget::CVideoGroupWidget(VideoOutputFactory& video, SoundDevice* sound, MessageBoxes* messages,
                                     QWidget* parent)
    : QWidget(parent) {
    setObjectName("videoctrl");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("#videoctrl { background: black; }");
    env_.video = &video;
    env_.sound = sound;
    env_.messages = messages;
    group_ = std::make_unique<CVideoGroup>(env_);
    group_->OnCreate();
    for (int i = 0; i < group_->ChannelCount(); ++i) windows_.push_back(new ChannelWindow(*group_->Port(i), this));
    // Lower channels lie on top: in the one-cell layout every window has the
    // same place and channel 0 must be the one seen, and in the four-cell
    // layout channels 4 to 7 stay behind the four cells.
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) (*it)->raise();
    group_->Relayout();
}

CVideoGroupWidget::~CVideoGroupWidget() {
    group_->StopPlayback();
    group_->ResetState();
    group_->OnDestroy();
    group_.reset();
}

ChannelWindow* CVideoGroupWidget::Window(int index) const {
    return index >= 0 && index < static_cast<int>(windows_.size()) ? windows_[static_cast<size_t>(index)] : nullptr;
}

uintptr_t CVideoGroupWidget::DrawWindowId(int index) const {
    ChannelWindow* w = Window(index);
    if (!w) return 0;
    w->Surface()->show();  // an output is about to be made: the channel opens
    return static_cast<uintptr_t>(w->Surface()->winId());
}

QSize CVideoGroupWidget::DrawWindowSize(int index) const {
    ChannelWindow* w = Window(index);
    return w ? w->Surface()->size() : QSize();
}

void CVideoGroupWidget::mouseDoubleClickEvent(QMouseEvent*) { emit emptyAreaDoubleClicked(); }

void CVideoGroupWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    group_->OnSize(Rect{0, 0, width(), height()});
}

}  // namespace corvane
