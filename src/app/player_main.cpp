// corvaneplayer: start-up and shutdown of the desktop player.
//
// Order matters: settings before the language table, the language table before
// any window text, the media library before the first channel window.
#include <SDL.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QStyle>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/language.h"
#include "config/settings.h"
#include "playback/sdl_sound.h"
#include "playback/sdl_video.h"
#include "ui/icons.h"
#include "ui/main_window.h"
#include "ui/map_view.h"
#include "ui/video_group_widget.h"

int main(int argc, char** argv) {
    using namespace corvane;
    // Exports and repairs report a write refused by a file size limit; the
    // signal would end the player instead.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvaneplayer %s\n", CORVANE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: corvaneplayer [--play] [FOLDER]\n"
                "Plays the recordings of vehicle video recorders.\n"
                "  FOLDER     search FOLDER for recordings at start (all times)\n"
                "  --play     play the first recording of the newest day found\n"
                "  --version  print the version and exit\n");
            return 0;
        }
    }
    LoadSettings();
    GlobalLanguageTable().Load(g_AppSettings.LangFile);

    // The video thread and the sound device bring up SDL's subsystems
    // themselves: every SDL video object lives on the video thread.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");

    // SDL renders into the channel windows through X11; on a Wayland session
    // Qt must therefore use XWayland.
    if (std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The map's browser engine refuses to run as root with its sandbox.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QApplication app(argc, argv);
    // The map's browser view composes the window through OpenGL. A window
    // switched to that once on screen is rebuilt under the SDL surfaces and
    // keeps stale pictures; one that composes through OpenGL from the start
    // does not. Qt reads the switch when the first window is made. Without
    // the map (or without a working OpenGL) the plain raster path is kept; the
    // show-map option takes effect at the next start.
    if (g_AppSettings.ShowMap.load() != 0 && qgetenv("QT_WIDGETS_RHI").isEmpty() && OpenGLAvailable()) {
        qputenv("QT_WIDGETS_RHI", "1");
    }
    QApplication::setApplicationName("CorvanePlayer");
    QApplication::setApplicationVersion(CORVANE_VERSION);
    // Desktops match the window to its entry (and icon) by this name.
    QGuiApplication::setDesktopFileName("corvaneplayer");
    QApplication::setWindowIcon(ApplicationIcon());

    int status;
    {
        SdlVideo video;
        CMainWindow* windowPtr = nullptr;
        SdlVideoOutputFactory outputs(video, [&windowPtr](int channel) {
            SdlTarget t;
            if (windowPtr) {
                CVideoGroupWidget* group = windowPtr->VideoWidget();
                QSize size = group->DrawWindowSize(channel);
                t = SdlTarget{group->DrawWindowId(channel), size.width(), size.height()};
            }
            return t;
        });
        SdlSoundDevice sound;
        PlayerServices services;
        services.video = &outputs;
        services.sound = &sound;
        CMainWindow window(services);
        windowPtr = &window;
        window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                               app.primaryScreen()->availableGeometry()));
        window.show();
        // corvaneplayer [--play] [FOLDER]: FOLDER is imported with all times;
        // --play then plays the first recording of the newest day and prints
        // where each open channel shows its pictures ("cell N x y w h").
        QStringList args = QApplication::arguments();
        bool play = args.contains("--play");
        for (int i = 1; i < args.size(); ++i) {
            if (!args[i].startsWith("-")) window.ImportFolder(args[i]);
        }
        if (play) {
            QTimer::singleShot(500, &window, [&window] {
                window.PlayOrResume();
                QTimer::singleShot(1500, &window, [&window] { window.PrintCells(); });
            });
        }
        status = QApplication::exec();
    }
    return status;
}
