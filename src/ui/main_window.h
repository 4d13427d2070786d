#pragma once
// The main window: the day and recording lists, the video and map panes, the
// transport controls; it drives the catalogue, the playback group and the
// maintenance workers.
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "catalogue/day_timeline.h"
#include "catalogue/day_video.h"
#include "catalogue/maintenance.h"
#include "map/map_feed.h"
#include "ui/recording_list_model.h"

class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QSplitter;
class QTabWidget;
class QTableView;

namespace corvane {

class CDayTimeline;
class CMapIECtrl;
class CVideoGroup;
class CVideoGroupWidget;
class MessageBoxes;
class SoundDevice;
class VideoOutputFactory;

// Where the player's pictures and sound go. Without a video factory the
// window keeps pictures in memory (tests, machines without a display).
struct PlayerServices {
    VideoOutputFactory* video = nullptr;
    SoundDevice* sound = nullptr;
    MessageBoxes* messages = nullptr;  // null: Qt message boxes
};

class CMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainWindow(PlayerServices services = {}, QWidget* parent = nullptr);
    ~CMainWindow() override;

    // Scans a folder as the import dialog would with "all time" ticked (the
    // folder given on the command line).
    void ImportFolder(const QString& folder);
    void OpenDay(int index);

    const DayList& Days() const { return days_; }
    CDayVideo* CurrentDay() const { return currentDay_; }
    CVListExAdapter* AllFiles() const { return allFiles_; }
    CVListExAdapter* AlarmFiles() const { return alarmFiles_; }
    CVListExAdapter* FixFiles() const { return fixFiles_; }
    int SpeedCode() const { return speed_; }
    void StepSpeed(bool forward);
    void SetSpeed(int code);

    MaintenanceWorkers& Workers() { return *workers_; }
    CVideoGroupWidget* VideoWidget() const { return videoWidget_; }
    CVideoGroup& Group();

    // Transport (the buttons, keys and list activation).
    void PlaySelected();
    void PlayOrResume();
    void Pause();
    void Stop();        // stops; the user-stopped flag is the caller's business
    void UserStop();    // the stop button: stop and stay stopped
    void Previous();
    void Next();
    void OnEndOfRecording();
    void SeekTo(int second);
    void ZoomKey(int position);
    // Saves the selected channel's picture: through the save dialog, or
    // straight to `path` when given.
    void Capture(const QString& path = QString());
    // "Snapshot all": every open channel's picture in one image of the grid.
    void CaptureAll(const QString& path = QString());
    // Keys "." and ",": one picture forward or back on every channel (the
    // first step pauses); Left and Right: ten seconds back or forward, on
    // into the previous or next recording.
    void StepFrame(int direction);
    void Jump(int seconds);
    bool UserStopped() const { return userStopped_; }
    // The video area alone on the whole screen; Esc, F11 or a double click
    // on the empty video area return.
    void SetFullScreen(bool on);
    // Prints "cell N x y w h" (screen coordinates) of each open channel's
    // picture area on standard output, for scripted screenshots.
    void PrintCells();
    bool VideoFullScreen() const { return videoFullScreen_; }
    // Menu commands: the row menu's on the selected row of the current list,
    // the option menu's on the current day.
    enum MenuCommand { kCmdExport = 1001, kCmdRepair = 1002, kCmdOption = 40038, kCmdConvert = 40039, kCmdAbout = 40040,
                       kCmdSnapshotAll = 40041 };
    void RunCommand(int command);
    // The row menu for a click at `at` in `view` (selecting the row under
    // it); none on the fix list or an empty list.
    std::unique_ptr<QMenu> MakeRowMenu(QTableView* view, const QPoint& at);
    // Copies the files of the recordings the marked span touches, or of the
    // selected row when no mark is set on the current day.
    void ExportSelectedTo(const QString& folder);
    void RepairSelected();
    // Queued for repair or being repaired: its files are not to be opened.
    bool InRepair(const CDiskVideo* r) const { return inRepair_.count(r) != 0; }
    // The recording that plays once its repair ends, null when none waits.
    CDiskVideo* PlayAfterRepair() const { return afterRepair_.recording; }

    // The map pane: the page chosen by the map-type setting (loaded once the
    // pane is on screen), the pane shown or hidden by the show-map setting.
    // Called at start; ApplyMapOptions after a confirmed options dialog
    // chooses again only when the map type changed.
    void ChooseMapPage();
    void ApplyMapOptions();
    // The map feed (timer 2): start it after playback started, with the
    // group's vehicle name and a copy of its latest fix; stop it at stop,
    // which removes the vehicle from the map.
    void StartMapFeed(const std::string& vehicleName, std::function<GroupGpsFix()> copyFix);
    void StopMapFeed();
    CMapIECtrl* MapCtrl() const { return map_; }

    // The day timeline and the in and out marks (keys I and O at the playing
    // position). The marked span on the current day is the default of the
    // conversion dialog and of the row menu's export.
    CDayTimeline* Timeline() const { return timeline_; }
    void SetMarkAt(bool in, int secondOfDay);
    void ClearMarks();
    std::optional<TimelineSpan> MarkedSpan() const;
    // Plays recording `index` of the current day from `offset` seconds.
    void PlayFromTimeline(int index, int offset);
    const CMapFeed& MapFeed() const { return *mapFeed_; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildLayout();
    void SetLabels();
    void OnImport();
    void ScanWith(const struct ScanFilter& filter);
    void ShowDayMenu();
    void RefreshSpeedDisplay();
    void UpdateMemoryText();
    void ResetCatalogue();
    void OnPositionTick();
    void SetTimeTexts(const QString& start, const QString& elapse, const QString& total);
    int CurrentSpeedCode();
    void ShowOptionMenu();
    void ShowRowMenu(QTableView* view, const QPoint& at);
    void OnMeasured(CDiskVideo* r);
    void OnBroken(CDiskVideo* r, bool userAsked);
    void OnRepaired(CDiskVideo* r);
    void ApplyMeasurement(CDiskVideo* r, const RecordingMeasurement& m);
    // Plays the recording's row of "list_allfiles" from that second.
    void PlayRecordingAt(CDiskVideo* r, int second, bool paused);
    CDiskVideo* SelectedRecording() const;
    void ConnectTimeline();
    void ShowDayOnTimeline();
    void OnSpeedsRead(CDiskVideo* r);
    // The picture on screen as a second of the current day.
    std::optional<double> PlayingSecondOfDay();
    void SetMarkAtPosition(bool in);
    QTableView* CurrentView() const;

    std::unique_ptr<class QtMessageSink> sink_;
    std::unique_ptr<MaintenanceWorkers> workers_;
    std::unique_ptr<VideoOutputFactory> ownVideo_;   // when no factory was given
    std::unique_ptr<MessageBoxes> ownMessages_;
    CVideoGroupWidget* videoWidget_ = nullptr;
    std::unique_ptr<struct PlayRange> playRange_;   // the alarm range being played
    CDiskVideo* sliderRecording_ = nullptr;         // the recording the slider shows
    std::vector<QWidget*> chrome_;                  // everything but the video, hidden in full screen
    bool videoFullScreen_ = false;
    bool mapWasVisible_ = false;
    DayList days_;
    CDayVideo* currentDay_ = nullptr;
    bool userStopped_ = true;
    int speed_ = 0;
    std::set<const CDiskVideo*> inRepair_;  // between its broken and repaired messages
    // A play request for a recording in repair, carried out when it ends.
    struct PendingPlay {
        CDiskVideo* recording = nullptr;
        int second = 0;
        bool paused = false;
    } afterRepair_;

    CVListExAdapter* allFiles_;
    CVListExAdapter* alarmFiles_;
    CVListExAdapter* fixFiles_;
    QTableView* allView_;
    QTableView* alarmView_;
    QTableView* fixView_;
    QTableView* currentList_;
    QTabWidget* tabs_;
    QSplitter* split_;
    QWidget* video_;
    PlayerServices services_;
    CMapIECtrl* map_;
    QLabel* title_;
    QLabel* memory_;
    QPushButton* selectDay_;
    QPushButton* menu_;
    QPushButton* play_;
    QPushButton* pause_;
    QPushButton* stop_;
    QPushButton* capture_;
    QPushButton* normal_;
    QSlider* position_;
    QSlider* volume_;
    QLabel* timeStart_;
    QLabel* timeElapse_;
    QLabel* timeTotal_;
    QLabel* soundLabel_;
    QLabel* speedLabel_;
    QTimer positionTimer_;  // 1 s while playing
    QTimer memoryTimer_;    // 3 s, always
    std::unique_ptr<CMapFeed> mapFeed_;
    std::function<GroupGpsFix()> copyFix_;  // the playing group's latest fix
    QTimer gpsTimer_;                  // timer 2: 1 s while playing, feeds the map
    CDayTimeline* timeline_ = nullptr;
    DayMarks marks_;
};

}  // namespace corvane
