#include "ui/map_view.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>

#include "config/program_folder.h"

namespace corvane {
namespace {

Q_LOGGING_CATEGORY(lcMap, "corvane.map", QtWarningMsg)

// The browser engine composes its pages with OpenGL contexts shared with the
// toolkit's, which must be asked for before the application object exists;
// the engine's own libraries would do this at start-up, but they are only
// loaded when the map is first shown.
void ShareOpenGLContexts() {
    if (!QCoreApplication::instance()) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
Q_CONSTRUCTOR_FUNCTION(ShareOpenGLContexts)

QString EnvPath(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

bool SandboxOff() {
    return !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") ||
           qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

QString& ExtraModuleFolder() {
    static QString folder;
    return folder;
}

// Beside the executable; under <prefix>/lib/corvaneplayer when installed;
// then the folder a test program named.
QStringList ModuleCandidates() {
    QString exeDir = QCoreApplication::applicationDirPath();
    QStringList candidates = {exeDir + "/" + kMapBrowserModule, exeDir + "/../lib/corvaneplayer/" + kMapBrowserModule};
    if (!ExtraModuleFolder().isEmpty()) candidates << ExtraModuleFolder() + "/" + kMapBrowserModule;
    return candidates;
}

}  // namespace

void AddMapModuleFolder(const QString& folder) { ExtraModuleFolder() = folder; }

bool OpenGLAvailable() {
    // The offscreen platform composes windows in memory and needs none.
    if (QGuiApplication::platformName() == "offscreen") return true;
    static const bool works = [] {
        QOffscreenSurface surface;
        surface.create();
        QOpenGLContext context;
        return context.create() && context.makeCurrent(&surface);
    }();
    return works;
}

QString MapPageUrl(int mapType) {
    QString page = mapType == 1 ? "Map/Google/gmap_cn.html" : "Map/Baidu/baidu.html";
    return QUrl::fromLocalFile(QString::fromStdString(ProgramFolder()) + page).toString();
}

CreateMapBrowserFn LoadMapBrowserModule(const QString& path, QString* error) {
    QLibrary module(path);
    if (!module.load()) {
        *error = module.errorString();
        return nullptr;
    }
    auto create = reinterpret_cast<CreateMapBrowserFn>(module.resolve(kCreateMapBrowserSymbol));
    if (!create) *error = module.errorString();
    return create;
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

CMapIECtrl::~CMapIECtrl() { browser_.reset(); }

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
    if (!OpenGLAvailable()) {
        return "The map cannot be shown: OpenGL does not work on this display, and the web browser engine "
               "draws the map through it.";
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
    if (browser_) {
        Load();
    } else if (isVisible() && !startQueued_) {
        // Let the window finish showing before the engine starts.
        startQueued_ = true;
        QTimer::singleShot(0, this, &CMapIECtrl::StartEngine);
    }
}

void CMapIECtrl::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (wantPage_ && !browser_ && problem_.isEmpty() && !startQueued_) {
        startQueued_ = true;
        QTimer::singleShot(0, this, &CMapIECtrl::StartEngine);
    }
}

void CMapIECtrl::StartEngine() {
    startQueued_ = false;
    if (browser_ || !wantPage_) return;
    QString problem = EngineProblem();
    if (!problem.isEmpty()) {
        ShowProblem(problem);
        return;
    }
    CreateMapBrowserFn create = nullptr;
    QString why;
    for (const QString& path : ModuleCandidates()) {
        if (!QFileInfo::exists(path)) continue;
        create = LoadMapBrowserModule(path, &why);
        break;
    }
    if (!create) {
        if (why.isEmpty()) why = QString("%1 is not installed beside the program").arg(kMapBrowserModule);
        ShowProblem(QString("The map cannot be shown: the web browser could not be loaded (%1). It needs the "
                            "Qt WebEngine libraries (Debian package libqt6webenginewidgets6).")
                        .arg(why));
        return;
    }
    MapBrowser::Events events;
    events.loaded = [this](bool ok) { OnLoaded(ok); };
    events.processEnded = [this](bool killed, int code) { OnProcessEnded(killed, code); };
    browser_.reset(create(events));
    stack_->addWidget(browser_->Widget());
    Load();
}

void CMapIECtrl::Load() {
    pageReady_ = false;
    browser_->Load(QUrl(url_));
}

void CMapIECtrl::OnLoaded(bool ok) {
    if (!wantPage_) return;
    pageReady_ = ok;
    if (ok) {
        problem_.clear();
        stack_->setCurrentWidget(browser_->Widget());
    } else {
        ShowProblem(QString("The map page %1 could not be loaded.").arg(url_));
    }
    emit PageLoaded(ok);
}

void CMapIECtrl::OnProcessEnded(bool killed, int exitCode) {
    pageReady_ = false;
    ShowProblem(QString("The map stopped: the web browser engine's page process ended unexpectedly "
                        "(%1, exit code %2). The player goes on without the map.")
                    .arg(killed ? "killed" : "crashed")
                    .arg(exitCode));
    emit PageLoaded(false);
}

bool CMapIECtrl::CallScript(const std::string& function, const std::vector<std::string>& args) {
    if (!browser_ || !pageReady_) return false;
    std::optional<std::string> script = BuildScriptCall(function, args);
    if (!script) return false;
    browser_->RunScript(QString::fromLatin1(script->data(), static_cast<qsizetype>(script->size())));
    return true;
}

bool CMapIECtrl::Evaluate(const QString& script, std::function<void(const QVariant&)> done) {
    if (!browser_ || !pageReady_) return false;
    browser_->Evaluate(script, std::move(done));
    return true;
}

qint64 CMapIECtrl::PageProcessId() const { return browser_ ? browser_->PageProcessId() : 0; }

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
