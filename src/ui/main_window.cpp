#include "ui/main_window.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QFileInfo>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "config/settings.h"
#include "playback/memory_output.h"
#include "ui/day_timeline.h"
#include "ui/icons.h"
#include "ui/import_dialog.h"
#include "ui/lang_text.h"
#include "ui/map_view.h"
#include "ui/qt_message_sink.h"
#include "ui/speed_steps.h"
#include "ui/video_group_widget.h"
#include "ui/wait_dialog.h"

namespace corvane {
namespace {

QString Text(const char* key, const char* def) { return LangText("FORM_MAIN", key, def); }

QPushButton* Button(const char* name, const QString& text, const QString& tip = QString()) {
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// A square transport button with one of the style's media icons.
QPushButton* IconButton(const char* name, Glyph glyph, const QString& tip) {
    auto* b = Button(name, "", tip);
    b->setIcon(PlayerIcon(glyph));
    b->setIconSize(QSize(20, 20));
    b->setFixedSize(36, 32);
    return b;
}

QLabel* Label(const char* name, const QString& text) {
    auto* l = new QLabel(text);
    l->setObjectName(name);
    return l;
}

// The playback shortcuts (digits for zoom, space) go on to the focused list
// after the main window acted on them; type-ahead would turn them into a jump
// of the selection, and "next" would then play some other row.
class RecordingTableView : public QTableView {
public:
    void keyboardSearch(const QString&) override {}
};

// A click on the groove of the position and volume sliders moves the handle
// there, as media players do, instead of by a page.
class JumpToClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

QSlider* JumpSlider(const char* name) {
    auto* s = new QSlider(Qt::Horizontal);
    s->setObjectName(name);
    auto* style = new JumpToClickStyle;  // over the application's style, which it does not own
    style->setParent(s);
    s->setStyle(style);
    return s;
}

QTableView* ListView(const char* name, CVListExAdapter* model, bool files) {
    auto* v = new RecordingTableView;
    v->setObjectName(name);
    v->setModel(model);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->verticalHeader()->hide();
    v->verticalHeader()->setDefaultSectionSize(44);
    v->setSortingEnabled(false);  // rows keep the order they were added in
    v->setWordWrap(true);
    v->setContextMenuPolicy(Qt::CustomContextMenu);
    QList<int> widths = files ? QList<int>{40, 130, 70, 80} : QList<int>{40, 130, 150};
    for (int i = 0; i < widths.size(); ++i) v->setColumnWidth(i, widths[i]);
    v->horizontalHeader()->setStretchLastSection(true);
    return v;
}

}  // namespace

CMainWindow::CMainWindow(PlayerServices services, QWidget* parent)
    : QMainWindow(parent),
      sink_(std::make_unique<QtMessageSink>(this)),
      workers_(std::make_unique<MaintenanceWorkers>(*sink_)) {
    allFiles_ = new CVListExAdapter(CVListExAdapter::Kind::Files, this);
    alarmFiles_ = new CVListExAdapter(CVListExAdapter::Kind::Files, this);
    fixFiles_ = new CVListExAdapter(CVListExAdapter::Kind::Repairs, this);
    services_ = services;
    BuildLayout();
    ConnectTimeline();
    SetLabels();
    ChooseMapPage();
    title_->setText(QString("%1 (VER: %2)").arg(title_->text(), CORVANE_VERSION));
    setWindowTitle(title_->text());
    connect(&memoryTimer_, &QTimer::timeout, this, &CMainWindow::UpdateMemoryText);
    memoryTimer_.start(3000);
    UpdateMemoryText();
    RefreshSpeedDisplay();
    // Shortcuts are taken before any list or button sees the key.
    qApp->installEventFilter(this);
    setAcceptDrops(true);
    connect(videoWidget_, &CVideoGroupWidget::emptyAreaDoubleClicked, this,
            [this] { SetFullScreen(!videoFullScreen_); });
    userStopped_ = true;
    Stop();
}

// The group holds the readers of the playing recording: it goes first.
CMainWindow::~CMainWindow() {
    userStopped_ = true;
    Stop();
    delete videoWidget_;
    videoWidget_ = nullptr;
    ResetCatalogue();
}

CDiskVideo* CMainWindow::SelectedRecording() const {
    QModelIndexList rows = currentList_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    auto* model = static_cast<CVListExAdapter*>(currentList_->model());
    const RecordingRow* row = model->Row(rows.front().row());
    return row ? row->recording : nullptr;
}

void CMainWindow::BuildLayout() {
    setObjectName("mainwnd");
    // 1000 by 700 as designed; small screens get down to 800 by 560, where
    // the list column narrows (resizeEvent) and the speed buttons shrink.
    setMinimumSize(800, 560);
    resize(1000, 700);
    auto* central = new QWidget;
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(2, 2, 2, 2);
    root->setSpacing(2);

    // Caption row: title and memory figures.
    auto* captionBox = new QWidget;
    auto* caption = new QHBoxLayout(captionBox);
    caption->setContentsMargins(0, 0, 0, 0);
    title_ = Label("text_title", "CorvanePlayer");
    memory_ = Label("text_memory", "0M/0M");
    caption->addWidget(title_);
    caption->addStretch();
    caption->addWidget(memory_);
    root->addWidget(captionBox);

    // Tool row.
    auto* toolBox = new QWidget;
    auto* tools = new QHBoxLayout(toolBox);
    tools->setContentsMargins(0, 0, 0, 0);
    auto* import = Button("btn_importloc", "");
    selectDay_ = Button("btn_selectday", "");
    auto* carId = Label("text_carid", "");
    carId->setAlignment(Qt::AlignCenter);
    auto* menu = Button("btn_menu", "Menu");
    menu_ = menu;
    tools->addWidget(import);
    tools->addWidget(selectDay_);
    tools->addWidget(carId, 1);
    tools->addWidget(menu);
    root->addWidget(toolBox);

    // Lists on the left, video and map on the right.
    auto* body = new QHBoxLayout;
    tabs_ = new QTabWidget;
    tabs_->setObjectName("tab_filelist");
    tabs_->setFixedWidth(330);
    // Slim scroll bars without arrow buttons.
    tabs_->setStyleSheet(
        "QScrollBar:vertical { width: 10px; background: #f0f0f0; margin: 0; }"
        "QScrollBar:horizontal { height: 10px; background: #f0f0f0; margin: 0; }"
        "QScrollBar::handle { background: #9aa5b1; border-radius: 4px; min-height: 24px; min-width: 24px; }"
        "QScrollBar::handle:hover { background: #6f7d8c; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }");
    allView_ = ListView("list_allfiles", allFiles_, true);
    alarmView_ = ListView("list_almfiles", alarmFiles_, true);
    fixView_ = ListView("list_fixfiles", fixFiles_, false);
    tabs_->addTab(allView_, "");
    tabs_->addTab(alarmView_, "");
    tabs_->addTab(fixView_, "");
    currentList_ = allView_;
    body->addWidget(tabs_);

    auto* right = new QVBoxLayout;
    split_ = new QSplitter(Qt::Horizontal);
    split_->setObjectName("split_vmap");
    if (!services_.video) {
        ownVideo_ = std::make_unique<MemoryVideoOutputFactory>();
        services_.video = ownVideo_.get();
    }
    if (!services_.messages) {
        ownMessages_ = std::make_unique<QtMessageBoxes>(this);
        services_.messages = ownMessages_.get();
    }
    videoWidget_ = new CVideoGroupWidget(*services_.video, services_.sound, services_.messages);
    video_ = videoWidget_;
    video_->setMinimumWidth(30);
    map_ = new CMapIECtrl;
    mapFeed_ = std::make_unique<CMapFeed>(*map_);
    connect(&gpsTimer_, &QTimer::timeout, this, [this] {
        if (copyFix_) mapFeed_->Tick(copyFix_(), map_->MapType());
    });
    split_->addWidget(video_);
    split_->addWidget(map_);
    split_->setStretchFactor(0, 1);
    split_->setSizes({600, 350});
    right->addWidget(split_, 1);
    timeline_ = new CDayTimeline;
    right->addWidget(timeline_);

    // Control strip.
    auto* stripBox = new QWidget;
    auto* strip = new QHBoxLayout(stripBox);
    strip->setContentsMargins(0, 0, 0, 0);
    auto* prev = IconButton("btn_prev", Glyph::Previous, "Previous");
    play_ = IconButton("btn_play", Glyph::Play, "Play");
    pause_ = IconButton("btn_pause", Glyph::Pause, "Pause");
    stop_ = IconButton("btn_stop", Glyph::Stop, "Stop");
    auto* next = IconButton("btn_next", Glyph::Next, "Next");
    for (QPushButton* b : {prev, play_, pause_, stop_, next}) strip->addWidget(b);
    auto* positionBox = new QVBoxLayout;
    position_ = JumpSlider("slider_main");
    position_->setRange(0, 100);
    positionBox->addWidget(position_);
    auto* times = new QHBoxLayout;
    times->setSpacing(8);
    timeStart_ = Label("time_start", "00:00:00");
    timeElapse_ = Label("time_elapse", "00:00:00");
    timeTotal_ = Label("time_total", "00:00:00");
    for (QLabel* t : {timeStart_, timeElapse_, timeTotal_}) {
        t->setStyleSheet("color: red;");
        t->setMinimumWidth(t->sizeHint().width());  // never clipped on a narrow window
    }
    times->addWidget(timeStart_);
    times->addStretch();
    times->addWidget(timeElapse_);
    times->addStretch();
    times->addWidget(timeTotal_);
    positionBox->addLayout(times);
    strip->addLayout(positionBox, 1);
    capture_ = IconButton("btn_capture", Glyph::Capture, "Snapshot");
    strip->addWidget(capture_);
    auto* fullScreen = IconButton("btn_fullscr", Glyph::FullScreen, "Full screen");
    strip->addWidget(fullScreen);
    auto* sound = new QVBoxLayout;
    soundLabel_ = Label("text_sound", "VOLUME:");
    volume_ = JumpSlider("slider_sound");
    volume_->setRange(0, 100);
    volume_->setValue(100);
    auto* soundRow = new QHBoxLayout;
    soundRow->addWidget(soundLabel_);
    soundRow->addWidget(volume_);
    auto* speedRow = new QHBoxLayout;
    speedLabel_ = Label("text_speed", "SPEED:");
    auto* goBack = Button("btn_goback", "<<");
    normal_ = Button("btn_normal", "0");
    auto* forward = Button("btn_forward", ">>");
    speedRow->addWidget(speedLabel_);
    for (QPushButton* b : {goBack, normal_, forward}) {
        b->setFixedHeight(26);
        b->setMinimumWidth(30);
        b->setMaximumWidth(40);
        speedRow->addWidget(b);
    }
    sound->addLayout(soundRow);
    sound->addLayout(speedRow);
    auto* soundBox = new QWidget;
    soundBox->setMinimumWidth(150);
    soundBox->setMaximumWidth(200);
    sound->setContentsMargins(0, 0, 0, 0);
    soundBox->setLayout(sound);
    strip->addWidget(soundBox);
    right->addWidget(stripBox);
    chrome_ = {captionBox, toolBox, tabs_, timeline_, stripBox};
    body->addLayout(right, 1);
    root->addLayout(body, 1);
    setCentralWidget(central);

    connect(import, &QPushButton::clicked, this, &CMainWindow::OnImport);
    connect(fullScreen, &QPushButton::clicked, this, [this] { SetFullScreen(true); });
    connect(prev, &QPushButton::clicked, this, &CMainWindow::Previous);
    connect(play_, &QPushButton::clicked, this, &CMainWindow::PlayOrResume);
    connect(pause_, &QPushButton::clicked, this, &CMainWindow::Pause);
    connect(stop_, &QPushButton::clicked, this, &CMainWindow::UserStop);
    connect(next, &QPushButton::clicked, this, &CMainWindow::Next);
    connect(capture_, &QPushButton::clicked, this, [this] { Capture(); });
    connect(position_, &QSlider::sliderReleased, this, [this] { SeekTo(position_->value()); });
    connect(position_, &QSlider::actionTriggered, this, [this](int action) {
        // Clicks on the groove and keys move the slider without dragging it.
        if (action != QAbstractSlider::SliderMove) {
            QTimer::singleShot(0, this, [this] { SeekTo(position_->value()); });
        }
    });
    connect(volume_, &QSlider::valueChanged, this, [this](int level) { Group().SetVolume(level); });
    connect(&positionTimer_, &QTimer::timeout, this, &CMainWindow::OnPositionTick);
    for (QTableView* view : {allView_, alarmView_}) {
        connect(view, &QTableView::activated, this, [this] {
            if (static_cast<CVListExAdapter*>(currentList_->model())->RowCount() == 0) return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            UserStop();
            PlayOrResume();
            QApplication::restoreOverrideCursor();
        });
    }
    connect(selectDay_, &QPushButton::clicked, this, &CMainWindow::ShowDayMenu);
    connect(goBack, &QPushButton::clicked, this, [this] { StepSpeed(false); });
    connect(forward, &QPushButton::clicked, this, [this] { StepSpeed(true); });
    connect(normal_, &QPushButton::clicked, this, [this] { SetSpeed(0); });
    connect(menu, &QPushButton::clicked, this, &CMainWindow::ShowOptionMenu);
    for (QTableView* view : {allView_, alarmView_}) {
        connect(view, &QTableView::customContextMenuRequested, this,
                [this, view](const QPoint& at) { ShowRowMenu(view, at); });
    }
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int page) { currentList_ = page == 1 ? alarmView_ : allView_; });
    pause_->hide();
    capture_->setEnabled(false);
    stop_->setEnabled(false);
    position_->setEnabled(false);
}

void CMainWindow::SetLabels() {
    findChild<QPushButton*>("btn_importloc")->setText(Text("BTN_IMPORTLOC", "Import Local"));
    selectDay_->setText(Text("BTN_SELECTDAY", "Select Day"));
    tabs_->setTabText(0, Text("TAB_ALLFILES", "All Files"));
    tabs_->setTabText(1, Text("TAB_ALMFILES", "Alarm Files"));
    tabs_->setTabText(2, Text("TAB_FIXFILES", "Fix Files"));
    QStringList files = {Text("TITLE_INDEX", "Idx"), Text("TITLE_TIME", "Time"), Text("TITLE_LENGTH", "Length"),
                         Text("TITLE_INFO", "Info")};
    allFiles_->SetHeaders(files);
    alarmFiles_->SetHeaders(files);
    fixFiles_->SetHeaders({Text("TITLE_INDEX", "Idx"), Text("TITLE_FILE", "File"), Text("TITLE_STATE", "State")});
    soundLabel_->setText(Text("STATIC_VOLUME", "Volume"));
    findChild<QPushButton*>("btn_menu")->setText(Text("BTN_MENU", "Menu"));
    speedLabel_->setText(Text("STATIC_SPEED", "Speed"));
}

QTableView* CMainWindow::CurrentView() const { return currentList_; }

// The list column keeps its 330 pixels down to a 1000-pixel window and gives
// way below that, so that the control strip stays whole on small screens.
void CMainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    tabs_->setFixedWidth(std::clamp(width() - 670, 220, 330));
}

void CMainWindow::OnImport() {
    CDlgImport dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    ScanWith(dialog.Filter());
}

void CMainWindow::ImportFolder(const QString& folder) {
    ScanFilter f;
    f.root = folder.toStdString();
    f.allTimes = 1;
    ScanWith(f);
}

// Everything that points into the day list goes before the days do: the
// workers, their queues, the rows and the messages still on their way.
void CMainWindow::ResetCatalogue() {
    workers_->StopRepairing();
    workers_->StopMeasuring();
    workers_->ClearQueues();
    QCoreApplication::removePostedEvents(this, PostedMessageEvent::EventType());
    inRepair_.clear();
    afterRepair_ = {};
    if (currentDay_) currentDay_->ReleaseDayReaders();
    currentDay_ = nullptr;
    allFiles_->ClearRows();
    alarmFiles_->ClearRows();
    fixFiles_->ClearRows();
    ShowDayOnTimeline();
    days_.clear();
}

void CMainWindow::ScanWith(const ScanFilter& filter) {
    userStopped_ = true;
    Stop();
    ResetCatalogue();
    CDlgWait wait(filter, days_, this);
    wait.exec();
    if (days_.empty()) {
        // Empty lists alone would not tell a wrong folder from an empty card.
        const QString folder = QString::fromStdString(filter.root);
        const QString text = QFileInfo(folder).isDir()
                                 ? Text("MESSAGE_NORECORD", "No recordings were found in this folder:")
                                 : Text("MESSAGE_NOFOLDER", "This folder cannot be opened:");
        services_.messages->Show((text + "\n" + folder).toStdString());
        return;
    }
    SortDays(days_);
    OpenDay(static_cast<int>(days_.size()) - 1);
    workers_->StartMeasuring();
    workers_->StartRepairing();
}

void CMainWindow::OpenDay(int index) {
    if (index < 0 || index >= static_cast<int>(days_.size())) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    userStopped_ = true;
    Stop();
    allFiles_->ClearRows();
    alarmFiles_->ClearRows();
    workers_->ClearMeasureQueue();
    afterRepair_ = {};
    CDayVideo* day = days_[static_cast<size_t>(index)].get();
    if (day != currentDay_) {
        if (currentDay_) currentDay_->ReleaseDayReaders();
        currentDay_ = day;
    }
    SortRecordings(*currentDay_);
    for (auto& r : currentDay_->recordings) {
        allFiles_->AddRow(r.get());
        if (LengthIsDoubtful(r->length) && !InRepair(r.get())) workers_->QueueMeasure(JobFor(*r));
        if (!r->speedsRead && !InRepair(r.get())) workers_->QueueSpeeds(JobFor(*r));
    }
    ShowDayOnTimeline();
    allView_->selectRow(0);
    selectDay_->setText(QString::fromStdString(currentDay_->GetDateText()));
    QApplication::restoreOverrideCursor();
}

void CMainWindow::ShowDayMenu() {
    QMenu menu(this);
    for (size_t i = 0; i < days_.size(); ++i) {
        QAction* a = menu.addAction(QString::fromStdString(days_[i]->GetDateText()));
        a->setCheckable(true);
        a->setChecked(currentDay_ && days_[i]->date == currentDay_->date);
        connect(a, &QAction::triggered, this, [this, i] { OpenDay(static_cast<int>(i)); });
    }
    menu.exec(selectDay_->mapToGlobal(QPoint(0, selectDay_->height())));
}


void CMainWindow::StepSpeed(bool forward) { SetSpeed(SpeedStep(CurrentSpeedCode(), forward)); }

void CMainWindow::SetSpeed(int code) {
    Group().SetSpeed(code);
    speed_ = code;
    RefreshSpeedDisplay();
}

void CMainWindow::RefreshSpeedDisplay() {
    speed_ = videoWidget_ ? Group().Speed() : 0;
    normal_->setText(SpeedText(speed_));
    QColor c = SpeedColour(speed_);
    normal_->setStyleSheet(QString::asprintf("background: #333; color: #%02x%02x%02x;", c.red(), c.green(), c.blue()));
}

// Resident and peak resident memory of the process in MiB.
void CMainWindow::UpdateMemoryText() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return;
    double rss = -1, peak = -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) rss = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        if (line.startsWith("VmHWM:")) peak = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    if (rss >= 0 && peak >= 0) memory_->setText(QString::asprintf("%.1fM / %.1fM", rss, peak));
}

void CMainWindow::ChooseMapPage() {
    int type = g_AppSettings.MapName;
    map_->SetPage(MapPageUrl(type), type);
    map_->Navigate();
    split_->widget(1)->setVisible(g_AppSettings.ShowMap != 0);
}

void CMainWindow::ApplyMapOptions() {
    if (map_->PageType() != g_AppSettings.MapName) ChooseMapPage();
}

void CMainWindow::StartMapFeed(const std::string& vehicleName, std::function<GroupGpsFix()> copyFix) {
    copyFix_ = std::move(copyFix);
    mapFeed_->Start(vehicleName);
    gpsTimer_.start(1000);
}

void CMainWindow::StopMapFeed() {
    gpsTimer_.stop();
    mapFeed_->Stop();
}

void CMainWindow::closeEvent(QCloseEvent* e) {
    memoryTimer_.stop();
    positionTimer_.stop();
    gpsTimer_.stop();
    QMainWindow::closeEvent(e);
}

}  // namespace corvane
