#include "main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QIconEngine>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeView>

#include "embedded_assets.h"
#include "entry_list_model.h"
#include "entry_rows.h"
#include "image_store.h"
#include "image_view.h"
#include "text_codec.h"

namespace {

constexpr int kClientWidth = 552;
constexpr int kClientHeight = 464;
constexpr QPoint kWindowPosition(326, 260);
constexpr int kStatusFieldWidths[3] = {70, 375, 120};

QColor ToQColor(ColourValue colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QFont MessageFont() {
    QFont font(QStringLiteral("Bodoni MT"));
    // Where the face is missing, the nearest serif face stands in at the same size.
    font.setFamilies({QStringLiteral("Bodoni MT"), QStringLiteral("Bodoni"),
                      QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setPointSize(22);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::Serif, QFont::PreferQuality);
    return font;
}

// What ResultIcon tells a screen reader: the outcome its image shows, nothing before the first.
QString OutcomeName(ImageNumber image) {
    switch (image) {
        case ImageNumber::ImageSuccess:
            return QStringLiteral("Erfolg");
        case ImageNumber::ImageWarning:
            return QStringLiteral("Warnung");
        case ImageNumber::ImageError:
            return QStringLiteral("Fehler");
        default:
            return {};
    }
}

// The program icon, decoded when a platform first asks for a picture of it. X11 asks for every
// size as the window is shown; a platform with no use for it, such as the offscreen one, never
// asks, and would otherwise spend a tenth of its start-up on Qt's scan of its image plugins and
// on decoding nine PNGs.
class ProgramIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        Decoded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Decoded().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Decoded().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return Decoded().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const EmbeddedIconImage& image : EmbeddedProgramIcon()) {
            sizes.append(QSize(image.size, image.size));
        }
        return sizes;
    }
    bool isNull() override { return EmbeddedProgramIcon().empty(); }
    QIconEngine* clone() const override { return new ProgramIconEngine; }

private:
    const QIcon& Decoded() {
        if (m_decoded.isNull()) {
            for (const EmbeddedIconImage& image : EmbeddedProgramIcon()) {
                QPixmap pixmap;
                if (pixmap.loadFromData(image.png.data(), static_cast<uint>(image.png.size()),
                                        "PNG")) {
                    m_decoded.addPixmap(pixmap);
                }
            }
        }
        return m_decoded;
    }

    QIcon m_decoded;
};

}  // namespace

MainWindow::MainWindow() {
    setWindowTitle(QStringLiteral("Vemo Creator"));
    // Title bar with window menu and close button only: no minimise, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(kWindowPosition);
    setWindowIcon(QIcon(new ProgramIconEngine));

    setCentralWidget(new QWidget(this));
    BuildStatusBar();
    BuildWidgets();
    // No input widget has the focus at start: Tab then goes to UrlField and Shift+Tab to
    // CreateButton, UrlField keeps the platform's background until it is entered, and no text
    // cursor blinks in an idle window.
    centralWidget()->setFocusPolicy(Qt::NoFocus);
    centralWidget()->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    const int height = bar->fontMetrics().height() + 8;
    bar->setFixedHeight(height);
    setStatusBar(bar);
    // Fixed fields at fixed places; the third runs past the window's right edge and is cut off.
    int x = 0;
    const char* const initialTexts[3] = {"X Eintr\xE4ge", "", "By Talwick"};
    const QString accessibleNames[3] = {QStringLiteral("Anzahl der Einträge"),
                                        QStringLiteral("Status"), QStringLiteral("Herausgeber")};
    for (int field = 0; field < 3; ++field) {
        auto* label = new QLabel(bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(x, 2, kStatusFieldWidths[field], height - 2);
        label->setText(FromWindows1252(initialTexts[field]));
        // A fixed name says what the field is; its changing text goes with it as the description.
        label->setAccessibleName(accessibleNames[field]);
        label->setAccessibleDescription(label->text());
        x += kStatusFieldWidths[field];
        m_statusFields[field] = label;
    }
}

void MainWindow::BuildWidgets() {
    QWidget* client = centralWidget();

    auto* frame = new FrameBox(QStringLiteral("New Vemo"), client);
    frame->setGeometry(10, 10, 530, 120);
    frame->setAccessibleName(QStringLiteral("Neuer Vemo"));
    m_widgets[WidgetNumber::NewLinkFrame] = frame;

    m_urlField = new QLineEdit(client);
    m_urlField->setGeometry(20, 30, 510, 20);
    m_urlField->setAccessibleName(QStringLiteral("URL"));
    m_urlField->installEventFilter(this);
    m_widgets[WidgetNumber::UrlField] = m_urlField;

    m_noteEditor = new QTextEdit(client);
    m_noteEditor->setGeometry(240, 60, 290, 60);
    m_noteEditor->setAccessibleName(QStringLiteral("Notiz"));
    m_noteEditor->setAcceptRichText(false);
    m_noteEditor->setLineWrapMode(QTextEdit::NoWrap);
    m_noteEditor->setTabChangesFocus(false);
    m_noteEditor->installEventFilter(this);
    m_widgets[WidgetNumber::NoteEditor] = m_noteEditor;

    m_model = new EntryListModel(this);
    m_entryTree = new QTreeView(client);
    m_entryTree->setGeometry(10, 200, 530, 230);
    m_entryTree->setAccessibleName(QStringLiteral("Gespeicherte Einträge"));
    m_entryTree->setModel(m_model);
    m_entryTree->setHeaderHidden(true);
    m_entryTree->setRootIsDecorated(true);
    m_entryTree->setUniformRowHeights(true);
    m_entryTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_entryTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_entryTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // The column fits the rows in view. Measuring the default 1000 rows shapes every one of
    // their texts on each refresh and expansion, which costs more than reading a large store.
    m_entryTree->header()->setResizeContentsPrecision(0);
    m_entryTree->header()->setStretchLastSection(false);
    // The selected row stays highlighted while the tree does not have the focus.
    QPalette treePalette = m_entryTree->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        treePalette.setColor(QPalette::Inactive, role, treePalette.color(QPalette::Active, role));
    }
    m_entryTree->setPalette(treePalette);
    m_entryTree->viewport()->installEventFilter(this);
    m_widgets[WidgetNumber::EntryTree] = m_entryTree;

    auto* resultIcon = new ImageView(client);
    resultIcon->setGeometry(510, 30, 16, 16);
    // UrlField covers the icon until the first create narrows the field.
    resultIcon->stackUnder(m_urlField);
    m_widgets[WidgetNumber::ResultIcon] = resultIcon;

    struct ViewPlace {
        WidgetNumber widget;
        QRect geometry;
        int image;
        QString accessibleName;
    };
    const ViewPlace views[] = {
        {WidgetNumber::GlobeView, QRect(20, 60, 64, 64), static_cast<int>(ImageNumber::ImageGlobe),
         QStringLiteral("Globus")},
        {WidgetNumber::StarView, QRect(10, 130, 64, 64), static_cast<int>(ImageNumber::ImageStar),
         QStringLiteral("Stern")},
    };
    for (const ViewPlace& place : views) {
        auto* view = new ImageView(client);
        view->setGeometry(place.geometry);
        view->setAccessibleName(place.accessibleName);
        view->SetImage(ImageFromHandle(ImageHandle(place.image)));
        m_widgets[place.widget] = view;
    }

    auto* deleteButton = new ImageButton(client);
    deleteButton->setGeometry(510, 160, 32, 32);
    // The button shows only the bin: the text is for screen readers and the mouse pointer.
    deleteButton->setAccessibleName(QStringLiteral("Eintrag löschen"));
    deleteButton->setToolTip(QStringLiteral("Eintrag löschen"));
    deleteButton->setAutoDefault(false);
    deleteButton->SetImage(ImageFromHandle(ImageHandle(static_cast<int>(ImageNumber::ImageBin))));
    m_widgets[WidgetNumber::DeleteButton] = deleteButton;

    auto* folderView = new ImageView(client);
    folderView->setGeometry(210, 55, 32, 32);
    folderView->setAccessibleName(QStringLiteral("Ordner"));
    folderView->SetImage(
        ImageFromHandle(ImageHandle(static_cast<int>(ImageNumber::ImageFolderAdd))));
    m_widgets[WidgetNumber::FolderView] = folderView;

    struct ButtonPlace {
        WidgetNumber widget;
        QRect geometry;
        const char* caption;
    };
    const ButtonPlace buttons[] = {
        {WidgetNumber::PasteButton, QRect(110, 70, 70, 20), "Einf\xFCgen"},
        {WidgetNumber::CreateButton, QRect(110, 100, 100, 20), "Erstellen"},
    };
    for (const ButtonPlace& place : buttons) {
        auto* button = new QPushButton(FromWindows1252(place.caption), client);
        button->setGeometry(place.geometry);
        // No default button: Enter presses nothing.
        button->setAutoDefault(false);
        button->setDefault(false);
        m_widgets[place.widget] = button;
    }

    m_messageLabel = new QLabel(client);
    m_messageLabel->setGeometry(100, 145, 400, 40);
    m_messageLabel->setAccessibleName(QStringLiteral("Meldung"));
    // Messages come from the network: never interpreted as markup.
    m_messageLabel->setTextFormat(Qt::PlainText);
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_messageLabel->setFocusPolicy(Qt::NoFocus);
    m_messageLabel->setFont(MessageFont());
    m_widgets[WidgetNumber::MessageLabel] = m_messageLabel;

    for (WidgetNumber button :
         {WidgetNumber::DeleteButton, WidgetNumber::PasteButton, WidgetNumber::CreateButton}) {
        connect(static_cast<QPushButton*>(m_widgets[button]), &QPushButton::clicked, this,
                [this, button] { Report(EventKind::WidgetEvent, button, EventType::PressOrLeftClick); });
    }

    QWidget* focusOrder[] = {m_urlField, m_noteEditor, m_entryTree, deleteButton,
                             m_widgets[WidgetNumber::PasteButton],
                             m_widgets[WidgetNumber::CreateButton]};
    for (std::size_t i = 0; i + 1 < std::size(focusOrder); ++i) {
        setTabOrder(focusOrder[i], focusOrder[i + 1]);
    }
}

void MainWindow::Report(EventKind kind, WidgetNumber widget, EventType type) {
    // Queued, so the report arrives after the widget has finished handling the input.
    QMetaObject::invokeMethod(
        this,
        [this, kind, widget, type] {
            if (m_handler) m_handler(kind, widget, type);
        },
        Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window stays until shutdown destroys it; the request only ends the loop.
    event->ignore();
    Report(EventKind::CloseRequest, WidgetNumber::NewLinkFrame, EventType::PressOrLeftClick);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_urlField) {
        if (event->type() == QEvent::FocusIn) {
            Report(EventKind::WidgetEvent, WidgetNumber::UrlField, EventType::FocusGained);
        } else if (event->type() == QEvent::FocusOut) {
            Report(EventKind::WidgetEvent, WidgetNumber::UrlField, EventType::FocusLost);
        }
    } else if (watched == m_noteEditor && event->type() == QEvent::KeyPress) {
        // Tab types a tab into the note; Shift+Tab still leaves it.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backtab) {
            focusPreviousChild();
            return true;
        }
    } else if (watched == m_entryTree->viewport() && event->type() == QEvent::MouseButtonPress) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Report(EventKind::WidgetEvent, WidgetNumber::EntryTree, EventType::PressOrLeftClick);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QWidget* MainWindow::Widget(WidgetNumber widget) const {
    auto it = m_widgets.find(widget);
    return it == m_widgets.end() ? nullptr : it->second;
}

QLabel* MainWindow::StatusField(int field) const {
    return field >= 0 && field < 3 ? m_statusFields[field] : nullptr;
}

std::string MainWindow::ReadText(WidgetNumber widget) {
    QWidget* w = Widget(widget);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return ToWindows1252(edit->text());
    if (auto* editor = qobject_cast<QTextEdit*>(w)) return ToWindows1252(editor->toPlainText());
    if (auto* label = qobject_cast<QLabel*>(w)) return ToWindows1252(label->text());
    if (auto* button = qobject_cast<QPushButton*>(w)) return ToWindows1252(button->text());
    if (auto* box = qobject_cast<QGroupBox*>(w)) return ToWindows1252(box->title());
    return {};
}

void MainWindow::SetText(WidgetNumber widget, const std::string& text) {
    QWidget* w = Widget(widget);
    const QString value = FromWindows1252(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(value);
    } else if (auto* editor = qobject_cast<QTextEdit*>(w)) {
        editor->setPlainText(value);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
        label->setAccessibleDescription(value);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(value);
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        box->setTitle(value);
    }
}

void MainWindow::SetColour(WidgetNumber widget, ColourAttribute attribute, ColourValue colour) {
    QWidget* w = Widget(widget);
    if (w == nullptr) return;
    QPalette palette = w->palette();
    const QColor value = ToQColor(colour);
    if (attribute == ColourAttribute::TextColour) {
        palette.setColor(QPalette::Text, value);
        palette.setColor(QPalette::WindowText, value);
        palette.setColor(QPalette::ButtonText, value);
    } else if (attribute == ColourAttribute::BackgroundColour) {
        palette.setColor(QPalette::Base, value);
        palette.setColor(QPalette::Window, value);
        palette.setColor(QPalette::Button, value);
        if (qobject_cast<QLabel*>(w)) w->setAutoFillBackground(true);
    } else {
        return;
    }
    w->setPalette(palette);
}

void MainWindow::SetGeometry(WidgetNumber widget, int x, int y, int width, int height) {
    QWidget* w = Widget(widget);
    if (w == nullptr) return;
    const QRect old = w->geometry();
    w->setGeometry(x == kKeep ? old.x() : x, y == kKeep ? old.y() : y,
                   width == kKeep ? old.width() : width, height == kKeep ? old.height() : height);
}

void MainWindow::SetImage(WidgetNumber widget, ImageNumber image) {
    const QImage* bitmap = ImageFromHandle(ImageHandle(static_cast<int>(image)));
    QWidget* w = Widget(widget);
    if (auto* view = qobject_cast<ImageView*>(w)) {
        view->SetImage(bitmap);
    } else if (auto* button = qobject_cast<ImageButton*>(w)) {
        button->SetImage(bitmap);
    }
    if (widget == WidgetNumber::ResultIcon && w != nullptr) {
        w->setAccessibleName(OutcomeName(image));
    }
}

void MainWindow::SetStatusText(int field, const std::string& text) {
    if (QLabel* label = StatusField(field)) {
        label->setText(FromWindows1252(text));
        label->setAccessibleDescription(label->text());
    }
}

std::string MainWindow::ReadClipboardText() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText() ? ToWindows1252(data->text()) : std::string();
}

void MainWindow::PasteClipboardIntoUrlField() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    m_urlField->setText(data != nullptr && data->hasText() ? data->text() : QString());
}

std::string MainWindow::ReadUrlForRequest() const { return ToWindows1252Url(m_urlField->text()); }

void MainWindow::SetEntryRows(EntryRows&& rows) { m_model->SetRows(std::move(rows)); }

int MainWindow::EntryRowCount() { return m_model->Rows().RowCount(); }

std::string MainWindow::EntryRowText(int row) { return m_model->Rows().RowText(row); }

int MainWindow::EntryRowLevel(int row) { return m_model->Rows().RowLevel(row); }

int MainWindow::SelectedEntryRow() {
    const QModelIndexList selected = m_entryTree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : m_model->FlatRowOf(selected.first());
}

MainWindow* BuildMainWindow() {
    auto* window = new MainWindow();
    window->show();
    return window;
}
