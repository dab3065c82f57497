#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <string>

#include "window_ops.h"

class EntryListModel;
class QLabel;
class QLineEdit;
class QTextEdit;
class QTreeView;

// The one window with its status bar and twelve widgets, at fixed pixel places. It turns every
// widget report into (widget number, event type) and hands it on through the queue, so reports
// reach the handler after the widget has finished with the input, in the order they were made.
class MainWindow final : public QMainWindow, public WindowOps {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    using EventHandler = std::function<void(EventKind, WidgetNumber, EventType)>;

    MainWindow();
    ~MainWindow() override;

    void SetEventHandler(EventHandler handler) { m_handler = std::move(handler); }

    std::string ReadText(WidgetNumber widget) override;
    void SetText(WidgetNumber widget, const std::string& text) override;
    void SetColour(WidgetNumber widget, ColourAttribute attribute, ColourValue colour) override;
    void SetGeometry(WidgetNumber widget, int x, int y, int width, int height) override;
    void SetImage(WidgetNumber widget, ImageNumber image) override;
    void SetStatusText(int field, const std::string& text) override;
    std::string ReadClipboardText() override;

    void SetEntryRows(EntryRows&& rows) override;
    int EntryRowCount() override;
    std::string EntryRowText(int row) override;
    int EntryRowLevel(int row) override;
    int SelectedEntryRow() override;

    // UrlField's text for a request: characters Windows-1252 lacks stay intact as UTF-8 escapes.
    std::string ReadUrlForRequest() const;
    // "Einfügen": the clipboard's whole text into UrlField, or empty it when there is none.
    void PasteClipboardIntoUrlField();

    QWidget* Widget(WidgetNumber widget) const;
    QLabel* StatusField(int field) const;
    QWidget* ClientArea() const { return centralWidget(); }
    EntryListModel* EntryModel() const { return m_model; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Report(EventKind kind, WidgetNumber widget, EventType type);
    void BuildStatusBar();
    void BuildWidgets();

    EventHandler m_handler;
    std::map<WidgetNumber, QWidget*> m_widgets;
    QLabel* m_statusFields[3] = {};
    QLineEdit* m_urlField = nullptr;
    QTextEdit* m_noteEditor = nullptr;
    QTreeView* m_entryTree = nullptr;
    QLabel* m_messageLabel = nullptr;
    EntryListModel* m_model = nullptr;
};

// Builds MainWindow and shows it; nullptr when the window cannot be made.
MainWindow* BuildMainWindow();
