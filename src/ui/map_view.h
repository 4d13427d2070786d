#pragma once
// The map pane ("iectrl_map", layout class "mapiectrl"): a browser view showing
// one of the program's map pages, driven one way through the page's script
// functions (map/script_call.h).
//
// The browser (map_browser.h) is loaded and started only when the pane is
// first shown with a page to show, since it takes several processes and
// hundreds of megabytes. When it cannot start, or its page process dies, the
// pane says why in plain words and the rest of the player goes on.
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "map/script_call.h"
#include "ui/map_browser.h"

class QLabel;
class QStackedLayout;

namespace corvane {

// ProgramFolder() + "Map/Google/gmap_cn.html" for map type 1, else the
// Map/Baidu/baidu.html page; as a "file://" address.
QString MapPageUrl(int mapType);

// One more folder to look in for the browser module, after the program's own
// places (test programs, which live outside the program folder).
void AddMapModuleFolder(const QString& folder);

// Whether windows can be composed through OpenGL here, as the browser view
// needs (asked once; needs the application object).
bool OpenGLAvailable();

// The browser module's entry point from the module file at path; null, with
// the reason in *error, when the file or the libraries it needs cannot be
// loaded. A loaded module stays loaded.
CreateMapBrowserFn LoadMapBrowserModule(const QString& path, QString* error);

class CMapIECtrl : public QWidget, public MapScriptTarget {
    Q_OBJECT
public:
    explicit CMapIECtrl(QWidget* parent = nullptr);
    ~CMapIECtrl() override;

    // Stores the address and the map type (both copies).
    void SetPage(const QString& url, int mapType);
    // Shows the stored address: now when the browser runs, else as soon as
    // the pane is visible.
    void Navigate();
    // Calls a global function of the loaded page with string arguments.
    // False when there is no loaded page or the name is not a plain
    // identifier; what the function does, or whether it exists, is not
    // reported.
    bool CallScript(const std::string& function, const std::vector<std::string>& args) override;

    // The copy that selects the coordinate conversion.
    int MapType() const { return mapType_; }
    // The type of the page set for loading, compared with the settings after
    // the options dialog.
    int PageType() const { return pageType_; }
    const QString& Url() const { return url_; }
    bool PageReady() const { return pageReady_; }
    // Why the pane shows no map; empty while there is no problem.
    const QString& Problem() const { return problem_; }
    // Whether the browser runs; it is started when first needed.
    bool BrowserStarted() const { return browser_ != nullptr; }
    // Runs a script in the loaded page and hands its result over (for checks
    // from outside); false when there is no loaded page.
    bool Evaluate(const QString& script, std::function<void(const QVariant&)> done);
    // The page's process, 0 while there is none.
    qint64 PageProcessId() const;

    // What stops the browser engine from starting on this machine, in plain
    // words; empty when nothing known does. Starts nothing.
    static QString EngineProblem();

signals:
    // The page finished loading (ok) or failed to (Problem() says why).
    void PageLoaded(bool ok);

protected:
    void showEvent(QShowEvent* e) override;

private:
    void StartEngine();
    void Load();
    void OnLoaded(bool ok);
    void OnProcessEnded(bool killed, int exitCode);
    void ShowProblem(const QString& text);

    QString url_;
    int mapType_ = 1;
    int pageType_ = 1;
    QString problem_;
    bool wantPage_ = false;   // Navigate was asked for
    bool pageReady_ = false;  // the page loaded and has not failed since
    bool startQueued_ = false;
    QStackedLayout* stack_;
    QLabel* message_;
    std::unique_ptr<MapBrowser> browser_;
};

}  // namespace corvane
