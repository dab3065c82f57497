// The floor for whole-program figures: the main window's widgets of the same kinds, at the same
// places, with the same window flags, fonts and tree settings, showing what the program shows
// with an empty store, and no logic. No store is read and nothing is decoded: the image views
// show blank bitmaps of their pictures' sizes and the tree a fixed one-row model, so painting
// costs what it costs in the program while reading, decoding and the window icon count as the
// program's own work.
#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeView>

#include "image_view.h"

namespace {

QImage Blank(int side) {
    QImage image(side, side, QImage::Format_BGR888);
    image.fill(QColor(240, 240, 240));
    return image;
}

void BuildFloorWidgets(QMainWindow& window) {
    window.setWindowTitle(QStringLiteral("Vemo Creator"));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setFixedSize(552, 464);
    window.move(326, 260);
    auto* client = new QWidget(&window);
    window.setCentralWidget(client);

    auto* bar = new QStatusBar(&window);
    bar->setSizeGripEnabled(false);
    const int height = bar->fontMetrics().height() + 8;
    bar->setFixedHeight(height);
    window.setStatusBar(bar);
    const int widths[3] = {70, 375, 120};
    const QString texts[3] = {QStringLiteral("0 Einträge"), QString(),
                              QStringLiteral("By Talwick")};
    for (int field = 0, x = 0; field < 3; x += widths[field], ++field) {
        auto* label = new QLabel(texts[field], bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setGeometry(x, 2, widths[field], height - 2);
    }

    (new FrameBox(QStringLiteral("New Vemo"), client))->setGeometry(10, 10, 530, 120);
    auto* urlField = new QLineEdit(client);
    urlField->setGeometry(20, 30, 510, 20);
    auto* noteEditor = new QTextEdit(client);
    noteEditor->setGeometry(240, 60, 290, 60);
    noteEditor->setAcceptRichText(false);
    noteEditor->setLineWrapMode(QTextEdit::NoWrap);

    auto* tree = new QTreeView(client);
    tree->setGeometry(10, 200, 530, 230);
    auto* rows = new QStandardItemModel(tree);
    rows->appendRow(new QStandardItem(QStringLiteral("Alle Einträge")));
    tree->setModel(rows);
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->header()->setResizeContentsPrecision(0);
    tree->header()->setStretchLastSection(false);

    auto* resultIcon = new ImageView(client);
    resultIcon->setGeometry(510, 30, 16, 16);
    resultIcon->stackUnder(urlField);
    const struct {
        QRect geometry;
        int imageSide;
    } views[] = {
        {QRect(20, 60, 64, 64), 64}, {QRect(10, 130, 64, 64), 64}, {QRect(210, 55, 32, 32), 24}};
    for (const auto& place : views) {
        auto* view = new ImageView(client);
        view->setGeometry(place.geometry);
        const QImage image = Blank(place.imageSide);
        view->SetImage(&image);
    }
    auto* deleteButton = new ImageButton(client);
    deleteButton->setGeometry(510, 160, 32, 32);
    const QImage bin = Blank(32);
    deleteButton->SetImage(&bin);

    auto* pasteButton = new QPushButton(QStringLiteral("Einfügen"), client);
    pasteButton->setGeometry(110, 70, 70, 20);
    pasteButton->setAutoDefault(false);
    auto* createButton = new QPushButton(QStringLiteral("Erstellen"), client);
    createButton->setGeometry(110, 100, 100, 20);
    createButton->setAutoDefault(false);

    auto* messageLabel = new QLabel(client);
    messageLabel->setGeometry(100, 145, 400, 40);
    messageLabel->setWordWrap(true);
    QFont font(QStringLiteral("Bodoni MT"));
    font.setFamilies({QStringLiteral("Bodoni MT"), QStringLiteral("Bodoni"),
                      QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setPointSize(22);
    font.setStyleHint(QFont::Serif, QFont::PreferQuality);
    messageLabel->setFont(font);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("de.talwick.VemoCreator"));
    QMainWindow window;
    BuildFloorWidgets(window);
    window.show();
    return application.exec();
}
