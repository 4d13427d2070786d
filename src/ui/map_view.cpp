#include "ui/map_view.h"

#include <unistd.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "app/program_folder.h"

namespace corvane {
namespace {

Q_LOGGING_CATEGORY(lcMap, "corvane.map", QtWarningMsg)

// The map page as an embedded control: no script dialogs, console output to
// the debug log only, and no navigation away from the page inside the pane
// (links go to the desktop's browser).
class SilentPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    QUrl home;

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int line,
                                  const QString& source) override {
        qCDebug(lcMap) << source << line << message;
    }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!isMainFrame || url.adjusted(QUrl::RemoveFragment) == home.adjusted(QUrl::RemoveFragment)) return true;
        if (type == NavigationTypeLinkClicked && (url.scheme() == "https" || url.scheme() == "http")) {
            QDesktopServices::openUrl(url);
        }
        return false;
    }
};

QString EnvPath(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

bool SandboxOff() {
    return !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") ||
           qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

}  // namespace

QString MapPageUrl(int mapType) {
    QString page = mapType == 1 ? "Map/Google/gmap_cn.html" : "Map/Baidu/baidu.html";
    return QUrl::fromLocalFile(QString::fromStdString(ProgramFolder()) + page).toString();
}

CMapIECtrl::CMapIECtrl(QWidget* parent) : QWidget(parent) {
    setObjectName("iectrl_map");
    setMinimumWidth(30);
    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    message_ = new QLabel;
    message_->setObjectName("map_problem");
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignCenter);
    message_->setMargin(12);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack_->addWidget(message_);
}

CMapIECtrl::~CMapIECtrl() = default;

QWebEnginePage* CMapIECtrl::Page() const { return view_ ? view_->page() : nullptr; }

QString CMapIECtrl::EngineProblem() {
    QString helper = EnvPath("QTWEBENGINEPROCESS_PATH");
    if (helper.isEmpty()) helper = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
    QFileInfo helperInfo(helper);
    if (!helperInfo.isFile() || !helperInfo.isExecutable()) {
        return QString("The map cannot be shown: the web browser engine's helper program %1 is missing "
                       "(Debian package libqt6webenginecore6-bin).")
            .arg(helper);
    }
    QString resources = EnvPath("QTWEBENGINE_RESOURCES_PATH");
    if (resources.isEmpty()) resources = QLibraryInfo::path(QLibraryInfo::DataPath) + "/resources";
    if (!QFileInfo::exists(resources + "/qtwebengine_resources.pak")) {
        return QString("The map cannot be shown: the web browser engine's resource files are missing from %1 "
                       "(Debian package libqt6webengine6-data).")
            .arg(resources);
    }
    if (geteuid() == 0 && !SandboxOff()) {
        return "The map cannot be shown: the web browser engine does not run for the root user "
               "unless its sandbox is switched off (QTWEBENGINE_DISABLE_SANDBOX=1).";
    }
    return {};
}

void CMapIECtrl::SetPage(const QString& url, int mapType) {
    url_ = url;
    mapType_ = mapType;
    pageType_ = mapType;
}

void CMapIECtrl::Navigate() {
    wantPage_ = true;
    pageReady_ = false;
    QUrl url(url_);
    if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isFile()) {
        ShowProblem(QString("The map page %1 is missing: the Map folder beside the program is incomplete.")
                        .arg(url.toLocalFile()));
        return;
    }
    if (view_) {
        Load();
    } else if (isVisible() && !startQueued_) {
        // Let the window finish showing before the engine starts.
        startQueued_ = true;
        QTimer::singleShot(0, this, &CMapIECtrl::StartEngine);
    }
}

void CMapIECtrl::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (wantPage_ && !view_ && problem_.isEmpty() && !startQueued_) {
        startQueued_ = true;
        QTimer::singleShot(0, this, &CMapIECtrl::StartEngine);
    }
}

void CMapIECtrl::StartEngine() {
    startQueued_ = false;
    if (view_ || !wantPage_) return;
    QString problem = EngineProblem();
    if (!problem.isEmpty()) {
        ShowProblem(problem);
        return;
    }
    view_ = new QWebEngineView;
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    auto* page = new SilentPage(view_);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);  // map tiles
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    view_->setPage(page);
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!view_ || !wantPage_) return;
        pageReady_ = ok;
        if (ok) {
            problem_.clear();
            stack_->setCurrentWidget(view_);
        } else {
            ShowProblem(QString("The map page %1 could not be loaded.").arg(url_));
        }
        emit PageLoaded(ok);
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                if (status == QWebEnginePage::NormalTerminationStatus) return;
                pageReady_ = false;
                ShowProblem(QString("The map stopped: the web browser engine's page process ended unexpectedly "
                                    "(%1, exit code %2). The player goes on without the map.")
                                .arg(status == QWebEnginePage::KilledTerminationStatus ? "killed" : "crashed")
                                .arg(code));
                emit PageLoaded(false);
            });
    stack_->addWidget(view_);
    Load();
}

void CMapIECtrl::Load() {
    pageReady_ = false;
    static_cast<SilentPage*>(view_->page())->home = QUrl(url_);
    view_->load(QUrl(url_));
}

bool CMapIECtrl::CallScript(const std::string& function, const std::vector<std::string>& args) {
    if (!view_ || !pageReady_) return false;
    std::optional<std::string> script = BuildScriptCall(function, args);
    if (!script) return false;
    view_->page()->runJavaScript(QString::fromLatin1(script->data(), static_cast<qsizetype>(script->size())));
    return true;
}

void CMapIECtrl::ShowProblem(const QString& text) {
    problem_ = text;
    message_->setText(text);
    stack_->setCurrentWidget(message_);
    qCWarning(lcMap).noquote() << text;
}

}  // namespace corvane

#if defined(__SANITIZE_ADDRESS__)
// The browser engine's own library (not built with the sanitizer) frees some of
// its objects with a sized delete of another size and keeps objects, some
// through fontconfig, until the process ends. Neither is ours to fix; both
// would otherwise end or fail every sanitizer build that shows the map. Weak,
// so that a program with options of its own keeps them.
extern "C" __attribute__((weak)) const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore.so\nleak:libfontconfig.so\n";
}
#endif
