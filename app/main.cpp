#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "entry_actions.h"
#include "event_dispatch.h"
#include "image_store.h"
#include "main_window.h"
#include "store_file.h"

namespace {

// While the window system starts, Qt reports an unreachable display in several lines and then
// aborts. Keep its first reason and end with one clear line and a non-zero exit code instead.
QStringList g_startupMessages;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        g_startupMessages.append(message);
        return;
    }
    const QString reason =
        g_startupMessages.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0) : g_startupMessages.first();
    std::fprintf(stderr, "vemo-creator: cannot open the window: %s\n", qPrintable(reason));
    std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
    const QtMessageHandler defaultHandler = qInstallMessageHandler(StartupMessageHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(defaultHandler);
    for (const QString& message : std::as_const(g_startupMessages)) qWarning("%s", qPrintable(message));
    g_startupMessages.clear();
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
