#pragma once
// The web browser behind the map pane. It lives in a module of its own
// (libcorvane_mapbrowser.so, beside the executable) that the pane loads the
// first time it shows a map: the browser engine's libraries are large, slow
// to load and may be missing or unusable on a machine, and the player must
// start and play without them.
#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>

class QWidget;

namespace corvane {

class MapBrowser {
public:
    // Called on the GUI thread.
    struct Events {
        std::function<void(bool ok)> loaded;  // the page finished loading, or failed to
        // The page's process ended abnormally: killed (true) or crashed.
        std::function<void(bool killed, int exitCode)> processEnded;
    };

    virtual ~MapBrowser() = default;
    // The view; the caller places it in its layout, the browser deletes it.
    virtual QWidget* Widget() = 0;
    // Loads the page; navigation away from it inside the view is refused.
    virtual void Load(const QUrl& page) = 0;
    // Runs a script in the page; its result is dropped.
    virtual void RunScript(const QString& script) = 0;
    // Runs a script and hands its result over later.
    virtual void Evaluate(const QString& script, std::function<void(const QVariant&)> done) = 0;
    virtual qint64 PageProcessId() const = 0;
};

// The module's one entry point.
using CreateMapBrowserFn = MapBrowser* (*)(const MapBrowser::Events& events);
inline constexpr const char* kCreateMapBrowserSymbol = "corvane_create_map_browser";
inline constexpr const char* kMapBrowserModule = "libcorvane_mapbrowser.so";

}  // namespace corvane
