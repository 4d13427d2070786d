// The map pane's browser on the web engine, built as the module
// libcorvane_mapbrowser.so (see map_browser.h).
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "ui/map_browser.h"

namespace corvane {
namespace {

Q_LOGGING_CATEGORY(lcMapPage, "corvane.map.page", QtWarningMsg)

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
        qCDebug(lcMapPage) << source << line << message;
    }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!isMainFrame || url.adjusted(QUrl::RemoveFragment) == home.adjusted(QUrl::RemoveFragment)) return true;
        if (type == NavigationTypeLinkClicked && (url.scheme() == "https" || url.scheme() == "http")) {
            QDesktopServices::openUrl(url);
        }
        return false;
    }
};

class WebEngineMapBrowser : public MapBrowser {
public:
    explicit WebEngineMapBrowser(const Events& events) : view_(new QWebEngineView) {
        view_->setContextMenuPolicy(Qt::NoContextMenu);
        page_ = new SilentPage(view_);
        QWebEngineSettings* s = page_->settings();
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);  // map tiles
        s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        view_->setPage(page_);
        QObject::connect(page_, &QWebEnginePage::loadFinished, page_, events.loaded);
        auto ended = events.processEnded;
        QObject::connect(page_, &QWebEnginePage::renderProcessTerminated, page_,
                         [ended](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                             if (status == QWebEnginePage::NormalTerminationStatus) return;
                             ended(status == QWebEnginePage::KilledTerminationStatus, code);
                         });
    }
    ~WebEngineMapBrowser() override {
        QObject::disconnect(page_, nullptr, nullptr, nullptr);
        delete view_;
    }

    QWidget* Widget() override { return view_; }
    void Load(const QUrl& page) override {
        page_->home = page;
        view_->load(page);
    }
    void RunScript(const QString& script) override { page_->runJavaScript(script); }
    void Evaluate(const QString& script, std::function<void(const QVariant&)> done) override {
        page_->runJavaScript(script, done);
    }
    qint64 PageProcessId() const override { return page_->renderProcessPid(); }

private:
    QWebEngineView* view_;
    SilentPage* page_;
};

}  // namespace
}  // namespace corvane

extern "C" __attribute__((visibility("default"))) corvane::MapBrowser* corvane_create_map_browser(
    const corvane::MapBrowser::Events& events) {
    return new corvane::WebEngineMapBrowser(events);
}
