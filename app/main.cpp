#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "entry_actions.h"
#include "event_dispatch.h"
#include "image_store.h"
#include "main_window.h"
#include "store_file.h"

namespace {

// Qt aborts with a crash report when it cannot reach a window system; say it in one line instead.
bool WindowSystemReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!WindowSystemReachable()) {
        std::fprintf(stderr, "vemo-creator: cannot open the window: no display (DISPLAY is not set)\n");
        return 1;
    }
    QApplication application(argc, argv);
    // Lets desktops match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.talwick.VemoCreator"));

    DecodeEmbeddedImages();
    EnsureStoreFile();
    std::unique_ptr<MainWindow> window(BuildMainWindow());
    if (!window) {
        std::fprintf(stderr, "vemo-creator: cannot open the window\n");
        return 1;
    }
    RefreshEntryList(*window);

    MainWindow* target = window.get();
    window->SetEventHandler([target](EventKind kind, WidgetNumber widget, EventType type) {
        if (HandleEvent(kind, widget, type, *target)) QCoreApplication::exit(0);
    });
    application.exec();

    ReleaseImages();
    window.reset();
    return 0;
}
