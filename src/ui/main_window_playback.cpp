// The main window's transport: playing the selected row, pause, stop,
// previous and next, seeking, the position timer, keyboard shortcuts, full
// screen and dropped folders.
#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QSplitter>
#include <QTimer>
#include <QUrl>
#include <QLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTableView>

#include "catalogue/local_time.h"
#include "map/map_feed.h"
#include "playback/video_group.h"
#include "ui/main_window.h"
#include "ui/qt_message_sink.h"
#include "ui/snapshot.h"
#include "ui/channel_window.h"
#include "ui/video_group_widget.h"

#include <cstdio>

namespace corvane {
namespace {

// Often enough that the clock under the pictures turns with the one in them.
constexpr int kPositionTickMs = 200;

QString ClockText(int64_t t) {
    std::optional<CalendarTime> c = LocalCalendar(t);
    return QString::asprintf("%02d:%02d:%02d", c ? c->hour : -1, c ? c->minute : -1, c ? c->second : -1);
}

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

CVideoGroup& CMainWindow::Group() { return videoWidget_->Group(); }

int CMainWindow::CurrentSpeedCode() {
    return videoWidget_ && Group().OpenMarker() ? Group().Speed() : 0;
}

void CMainWindow::SetTimeTexts(const QString& start, const QString& elapse, const QString& total) {
    timeStart_->setText(start);
    timeElapse_->setText(elapse);
    timeTotal_->setText(total);
}

void CMainWindow::PlaySelected() {
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const RecordingRow* row = static_cast<CVListExAdapter*>(currentList_->model())->Row(rows.front().row());
    if (!row) return;
    afterRepair_ = {};
    // A recording in repair is shown in the fix list, where its state says
    // why it waits; it plays once repaired.
    if (InRepair(row->recording)) {
        afterRepair_ = {row->recording, 0, false};
        tabs_->setCurrentIndex(2);
        fixView_->selectRow(fixFiles_->RowOf(row->recording));
        return;
    }
    if (!row->recording->OpenReaders()) return;
    CDiskVideo* r = row->recording;
    int channels = r->multiPart ? static_cast<int>(r->partPaths.size()) : r->channelCount;
    if (channels == 0) channels = static_cast<int>(r->readers.size());
    CVideoGroup& group = Group();
    group.SetLayoutMode(channels <= 1 ? 0 : channels <= 4 ? 1 : 2);
    group.Relayout();
    // An alarm row plays its event: from its start (ms) for its length (s).
    playRange_.reset();
    if (const EventEntry* e = row->Event()) {
        uint32_t start = (*e)[0];
        playRange_ = std::make_unique<PlayRange>(PlayRange{start, start + ((*e)[2] & 0xFFFF) * 1000});
    }
    if (!group.OpenRecording(currentDay_, r, playRange_.get(), sink_.get())) return;
    sliderRecording_ = r;
    position_->setRange(0, r->length ? static_cast<int>(r->length) : 1);
    position_->blockSignals(true);
    position_->setValue(group.CurrentSecond());
    position_->blockSignals(false);
    SetTimeTexts(ClockText(r->startTime), ClockText(r->startTime + group.CurrentSecond()), ClockText(r->endTime));
    group.SetVolume(volume_->value());
    pause_->show();
    play_->hide();
    position_->setEnabled(true);
    if (!positionTimer_.isActive()) positionTimer_.start(kPositionTickMs);
    userStopped_ = false;
    capture_->setEnabled(true);
    stop_->setEnabled(true);
    StartMapFeed(Trimmed(group.VehicleName()), [this] {
        GroupGpsFix fix;
        Group().CopyGpsFix(&fix);
        return fix;
    });
}

void CMainWindow::PlayRecordingAt(CDiskVideo* r, int second, bool paused) {
    const int row = allFiles_->RowOf(r);
    if (row < 0) return;  // another day is open
    tabs_->setCurrentIndex(0);
    allView_->selectRow(row);
    PlaySelected();
    if (Group().PlayingRecording() != r) return;
    if (second > 0) SeekTo(second);
    if (paused) Pause();
}

void CMainWindow::PlayOrResume() {
    CVideoGroup& group = Group();
    if (group.State() == kStopped) {
        PlaySelected();
    } else if (group.State() == kPaused) {
        group.ResumePlayback();
        pause_->show();
        play_->hide();
        position_->setEnabled(true);
        if (!positionTimer_.isActive()) positionTimer_.start(kPositionTickMs);
    }
}

void CMainWindow::Pause() {
    if (Group().State() != kPlaying) return;
    Group().PausePlayback();
    play_->show();
    pause_->hide();
    position_->setEnabled(false);
    positionTimer_.stop();
}

void CMainWindow::Stop() {
    positionTimer_.stop();
    gpsTimer_.stop();
    CVideoGroup& group = Group();
    if (group.OpenMarker() && group.State() != kStopped) {
        group.StopPlayback();
        group.ResetState();
    }
    play_->show();
    pause_->hide();
    capture_->setEnabled(false);
    stop_->setEnabled(false);
    position_->blockSignals(true);
    position_->setValue(0);
    position_->blockSignals(false);
    position_->setEnabled(false);
    SetTimeTexts("00:00:00", "00:00:00", "00:00:00");
    RefreshSpeedDisplay();
    StopMapFeed();
}

// A recording the user stops or chooses starts again at normal speed; only
// stepping to the next or previous one keeps a fast-forward speed.
void CMainWindow::UserStop() {
    userStopped_ = true;
    afterRepair_ = {};
    Stop();
    Group().ResetSpeed();
    RefreshSpeedDisplay();
}

void CMainWindow::Previous() {
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.front().row() == 0) return;
    userStopped_ = true;
    Stop();
    currentList_->selectRow(rows.front().row() - 1);
    PlaySelected();
}

// Played backward to its start: the previous recording plays backward from
// its end; before the first one, playback stops there.
void CMainWindow::OnEndOfRecording() {
    if (userStopped_) return;
    const int speed = Group().Speed();
    if (speed >= 0) {
        Next();
        return;
    }
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.front().row() == 0) {
        UserStop();
        return;
    }
    Previous();
    CDiskVideo* r = Group().PlayingRecording();
    if (!r || Group().State() == kStopped) return;
    Group().SeekAll(r->length > 0 ? static_cast<int>(r->length) - 1 : 0);
    Group().SetSpeed(speed);
    RefreshSpeedDisplay();
}

void CMainWindow::Next() {
    userStopped_ = true;
    Stop();
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    int count = static_cast<CVListExAdapter*>(currentList_->model())->RowCount();
    int next = rows.isEmpty() ? 0 : rows.front().row() + 1;
    if (next >= count) return;
    currentList_->selectRow(next);
    PlaySelected();
}

void CMainWindow::SeekTo(int second) {
    if (!Group().OpenMarker() || Group().State() == kStopped) return;
    positionTimer_.stop();
    Group().SeekAll(second);
    positionTimer_.start(kPositionTickMs);
    if (sliderRecording_) timeElapse_->setText(ClockText(sliderRecording_->startTime + second));
}

// The time texts follow the picture on screen, not the reading position,
// which runs ahead of it by what the channels have queued.
void CMainWindow::OnPositionTick() {
    int second = Group().ShownSecond();
    if (!position_->isSliderDown()) {
        position_->blockSignals(true);
        position_->setValue(second);
        position_->blockSignals(false);
    }
    if (sliderRecording_) timeElapse_->setText(ClockText(sliderRecording_->startTime + second));
}

void CMainWindow::StepFrame(int direction) {
    if (!Group().OpenMarker() || Group().State() == kStopped) return;
    Pause();
    Group().StepFrame(direction);
    OnPositionTick();
    RefreshSpeedDisplay();  // a key-frame speed is back to normal
}

// A jump beyond the recording's first or last picture goes on into the
// previous or next row by what is left of it; at the first or last row it
// stays on that picture.
void CMainWindow::Jump(int seconds) {
    CVideoGroup& group = Group();
    if (!group.OpenMarker() || group.State() == kStopped) return;
    int64_t beyond = group.JumpBy(int64_t(seconds) * 1000);
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    const int count = static_cast<CVListExAdapter*>(currentList_->model())->RowCount();
    const bool paused = group.State() == kPaused;
    if (beyond < 0 && row > 0) Previous();
    else if (beyond > 0 && row >= 0 && row + 1 < count) Next();
    else beyond = 0;
    CDiskVideo* r = group.PlayingRecording();
    if (beyond != 0 && r && group.State() != kStopped) {
        if (paused) Pause();
        group.JumpBy(beyond < 0 ? int64_t(r->length) * 1000 + beyond : beyond);
    }
    OnPositionTick();
}

// Keys 1 to 4 zoom the channel at that position of the group, 5 the first.
void CMainWindow::ZoomKey(int position) {
    CVideoGroup& group = Group();
    if (position >= group.ChannelCount()) return;
    CVideoPort* port = group.Port(position);
    if (!port->Recording()) return;  // a closed channel has nothing to show
    group.ZoomChannel(port, group.ZoomedChannel() != port);
}

bool CMainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || !isActiveWindow()) return QMainWindow::eventFilter(watched, e);
    // The application's filter sees a key press again for every widget it
    // propagates to: act on its first receiver only, or a passed-on key
    // would step the speed twice and zoom in and straight out again.
    QWidget* receiver = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    if (watched != receiver) return QMainWindow::eventFilter(watched, e);
    auto* k = static_cast<QKeyEvent*>(e);
    // Held down, the speed keys and the frame-step keys repeat.
    const bool repeats = k->key() == Qt::Key_Plus || k->key() == Qt::Key_Minus || k->key() == Qt::Key_Period ||
                         k->key() == Qt::Key_Comma;
    if (k->isAutoRepeat() && !repeats) return false;
    if (videoFullScreen_ && (k->key() == Qt::Key_Escape || k->key() == Qt::Key_F11)) {
        SetFullScreen(false);
        return true;
    }
    switch (k->key()) {
        case Qt::Key_F11: SetFullScreen(true); return true;
        case Qt::Key_Space:
            if (Group().State() == kPaused) PlayOrResume();
            else Pause();
            return false;
        case Qt::Key_Up: Previous(); return true;
        case Qt::Key_Down: Next(); return true;
        case Qt::Key_Period: StepFrame(1); return true;
        case Qt::Key_Comma: StepFrame(-1); return true;
        case Qt::Key_Left: Jump(-10); return true;
        case Qt::Key_Right: Jump(10); return true;
        case Qt::Key_1: case Qt::Key_2: case Qt::Key_3: case Qt::Key_4: ZoomKey(k->key() - Qt::Key_0); return false;
        case Qt::Key_5: ZoomKey(0); return false;
        case Qt::Key_Plus: StepSpeed(true); return false;
        case Qt::Key_Minus: StepSpeed(false); return false;
        case Qt::Key_I: SetMarkAtPosition(true); return true;
        case Qt::Key_O: SetMarkAtPosition(false); return true;
        default: return QMainWindow::eventFilter(watched, e);
    }
}

void CMainWindow::PrintCells() {
    CVideoGroup& group = Group();
    for (int i = 0; i < group.ChannelCount(); ++i) {
        ChannelWindow* w = videoWidget_->Window(i);
        if (!w || !group.Port(i)->Recording() || !w->isVisible()) continue;
        QWidget* surface = w->Surface();
        QPoint at = surface->mapToGlobal(QPoint(0, 0));
        QPoint frame = w->mapToGlobal(QPoint(0, 0));
        std::printf("cell %d %d %d %d %d title %d %d %d %d\n", i + 1, at.x(), at.y(), surface->width(), surface->height(),
                    frame.x(), frame.y(), w->width(), ChannelWindow::kTitleHeight);
    }
    std::fflush(stdout);
}

void CMainWindow::SetFullScreen(bool on) {
    if (on == videoFullScreen_) return;
    videoFullScreen_ = on;
    QWidget* mapPane = split_->widget(1);
    if (on) mapWasVisible_ = mapPane->isVisible();
    for (QWidget* w : chrome_) w->setVisible(!on);
    mapPane->setVisible(on ? false : mapWasVisible_);
    centralWidget()->layout()->setContentsMargins(on ? 0 : 2, on ? 0 : 2, on ? 0 : 2, on ? 0 : 2);
    if (on) showFullScreen();
    else showNormal();
}

// A folder dropped on the window is imported like one chosen in the import
// dialog with all times.
void CMainWindow::dragEnterEvent(QDragEnterEvent* e) {
    for (const QUrl& url : e->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            e->acceptProposedAction();
            return;
        }
    }
}

void CMainWindow::dropEvent(QDropEvent* e) {
    for (const QUrl& url : e->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            e->acceptProposedAction();
            QString folder = url.toLocalFile();
            QTimer::singleShot(0, this, [this, folder] { ImportFolder(folder); });
            return;
        }
    }
}

}  // namespace corvane
