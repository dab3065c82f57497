// Linked into the timed copies of the program and of the floor window, never into vemo-creator:
// ends the event loop right after the first frame has been painted, so a whole start-up can be
// timed from outside. The program's own main() runs unchanged and shuts down as usual.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace {

class FirstPaintExit final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint) {
            m_seen = true;
            // Queued: every widget of this frame is painted and the frame flushed within the
            // event that is being handled now, before the loop takes the next one.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(0); },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

void InstallFirstPaintExit() {
    QCoreApplication* application = QCoreApplication::instance();
    application->installEventFilter(new FirstPaintExit(application));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallFirstPaintExit)
