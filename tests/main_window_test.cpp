#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <memory>
#include <vector>

#include "entry_actions.h"
#include "entry_list_model.h"
#include "event_dispatch.h"
#include "image_store.h"
#include "image_view.h"
#include "main_window.h"
#include "temp_dir.h"

namespace {

struct Report {
    EventKind kind;
    WidgetNumber widget;
    EventType type;
    int selectedRow;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        DecodeEmbeddedImages();
        window.reset(BuildMainWindow());
        window->SetEventHandler([this](EventKind kind, WidgetNumber widget, EventType type) {
            reports.push_back({kind, widget, type, window->SelectedEntryRow()});
            HandleEvent(kind, widget, type, *window);
        });
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        window.reset();
        ReleaseImages();
    }

    QWidget* Widget(WidgetNumber number) { return window->Widget(number); }
    // Delivers the queued widget reports.
    static void Settle() { QCoreApplication::processEvents(); }
    bool Reported(WidgetNumber widget, EventType type) const {
        for (const Report& r : reports) {
            if (r.kind == EventKind::WidgetEvent && r.widget == widget && r.type == type) return true;
        }
        return false;
    }

    ScopedTempDir dir;
    std::unique_ptr<MainWindow> window;
    std::vector<Report> reports;
};

TEST_F(MainWindowTest, WidgetsStandWhereTheyAreBuilt) {
    struct Place {
        WidgetNumber widget;
        QRect geometry;
        const char* kind;
    };
    const Place places[] = {
        {WidgetNumber::NewLinkFrame, {10, 10, 530, 120}, "FrameBox"},
        {WidgetNumber::UrlField, {20, 30, 510, 20}, "QLineEdit"},
        {WidgetNumber::NoteEditor, {240, 60, 290, 60}, "QTextEdit"},
        {WidgetNumber::EntryTree, {10, 200, 530, 230}, "QTreeView"},
        {WidgetNumber::ResultIcon, {510, 30, 16, 16}, "ImageView"},
        {WidgetNumber::GlobeView, {20, 60, 64, 64}, "ImageView"},
        {WidgetNumber::StarView, {10, 130, 64, 64}, "ImageView"},
        {WidgetNumber::DeleteButton, {510, 160, 32, 32}, "ImageButton"},
        // Created 32 x 32, it takes the size of its 24 x 24 image.
        {WidgetNumber::FolderView, {210, 55, 24, 24}, "ImageView"},
        {WidgetNumber::PasteButton, {110, 70, 70, 20}, "QPushButton"},
        {WidgetNumber::CreateButton, {110, 100, 100, 20}, "QPushButton"},
        {WidgetNumber::MessageLabel, {100, 145, 400, 40}, "QLabel"},
    };
    for (const Place& place : places) {
        QWidget* widget = Widget(place.widget);
        ASSERT_NE(widget, nullptr) << static_cast<int>(place.widget);
        EXPECT_EQ(widget->geometry(), place.geometry) << static_cast<int>(place.widget);
        EXPECT_STREQ(widget->metaObject()->className(), place.kind);
        EXPECT_EQ(widget->parentWidget(), window->ClientArea());
    }
    for (int unused : {9, 12, 13, 15, -1}) {
        EXPECT_EQ(Widget(static_cast<WidgetNumber>(unused)), nullptr);
        EXPECT_EQ(window->ReadText(static_cast<WidgetNumber>(unused)), "");
    }
}

TEST_F(MainWindowTest, WindowHasFixedClientAreaTitleAndNoMinMaxButtons) {
    EXPECT_EQ(window->size(), QSize(552, 464));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vemo Creator"));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());
}

// The icon is decoded only when asked for; every size it offers must then come out whole.
TEST_F(MainWindowTest, WindowIconGivesEveryEmbeddedSize) {
    const QIcon icon = window->windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    ASSERT_EQ(sizes.size(), 9);
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size, 1.0).toImage();
        EXPECT_EQ(image.size(), size);
        // The chain link covers a good part of the square: the picture, not an empty pixmap.
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) == 255;
        }
        EXPECT_GT(opaque, size.width() * size.height() / 8) << size.width();
    }
}

TEST_F(MainWindowTest, InitialContentOfTheWidgets) {
    EXPECT_EQ(window->ReadText(WidgetNumber::NewLinkFrame), "New Vemo");
    EXPECT_EQ(window->ReadText(WidgetNumber::PasteButton), "Einf\xFCgen");
    EXPECT_EQ(window->ReadText(WidgetNumber::CreateButton), "Erstellen");
    EXPECT_EQ(window->ReadText(WidgetNumber::UrlField), "");
    EXPECT_EQ(window->ReadText(WidgetNumber::NoteEditor), "");
    EXPECT_EQ(window->ReadText(WidgetNumber::MessageLabel), "");
    EXPECT_FALSE(static_cast<ImageView*>(Widget(WidgetNumber::ResultIcon))->HasImage());
    for (WidgetNumber view : {WidgetNumber::GlobeView, WidgetNumber::StarView, WidgetNumber::FolderView}) {
        EXPECT_TRUE(static_cast<ImageView*>(Widget(view))->HasImage());
    }
    // The icon lies beneath UrlField until the first create narrows the field.
    const QPoint iconCentre = Widget(WidgetNumber::ResultIcon)->geometry().center();
    EXPECT_EQ(window->ClientArea()->childAt(iconCentre), Widget(WidgetNumber::UrlField));
}

TEST_F(MainWindowTest, StatusBarHasThreeSunkenFieldsTheThirdCutOff) {
    const int widths[] = {70, 375, 120};
    const char* texts[] = {"X Eintr\xE4ge", "", "By Talwick"};
    int x = 0;
    for (int field = 0; field < 3; ++field) {
        QLabel* label = window->StatusField(field);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->x(), x);
        EXPECT_EQ(label->width(), widths[field]);
        EXPECT_EQ(label->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(label->text().toLatin1().toStdString(), texts[field]);
        x += widths[field];
    }
    QStatusBar* bar = window->statusBar();
    EXPECT_EQ(bar->width(), 552);
    EXPECT_FALSE(bar->isSizeGripEnabled());
    EXPECT_EQ(bar->geometry().bottom(), 463);
    // Only the first 107 pixels of the third field are inside the window.
    EXPECT_EQ(bar->width() - window->StatusField(2)->x(), 107);
    window->SetStatusText(0, "2 Eintr\xE4ge");
    EXPECT_EQ(window->StatusField(0)->text(), QString::fromUtf8("2 Einträge"));
    window->SetStatusText(3, "ignored");
}

TEST_F(MainWindowTest, NoInputWidgetHasTheFocusAtStartAndTabEntersTheChainAtEitherEnd) {
    Settle();
    EXPECT_FALSE(Reported(WidgetNumber::UrlField, EventType::FocusGained));
    EXPECT_EQ(QApplication::focusWidget(), window->ClientArea());
    QTest::keyClick(window.get(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Widget(WidgetNumber::UrlField));

    window->ClientArea()->setFocus();
    QTest::keyClick(window.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), Widget(WidgetNumber::CreateButton));
}

TEST_F(MainWindowTest, TabWalksTheSixFocusWidgetsAndNoteEditorTypesTabs) {
    QWidget* urlField = Widget(WidgetNumber::UrlField);
    urlField->setFocus();
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), urlField);

    QTest::keyClick(urlField, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Widget(WidgetNumber::NoteEditor));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Widget(WidgetNumber::NoteEditor));
    EXPECT_EQ(window->ReadText(WidgetNumber::NoteEditor), "\t");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), urlField);

    const WidgetNumber order[] = {WidgetNumber::EntryTree, WidgetNumber::DeleteButton,
                                  WidgetNumber::PasteButton, WidgetNumber::CreateButton,
                                  WidgetNumber::UrlField};
    Widget(WidgetNumber::EntryTree)->setFocus();
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), Widget(order[i])) << i;
    }
    for (std::size_t i = std::size(order) - 1; i > 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), Widget(order[i - 1])) << i;
    }
}

TEST_F(MainWindowTest, UrlFieldTurnsLightGreyWithFocusAndWhiteWithout) {
    auto* urlField = static_cast<QLineEdit*>(Widget(WidgetNumber::UrlField));
    const QColor platformBase = QApplication::palette(urlField).color(QPalette::Base);
    EXPECT_EQ(urlField->palette().color(QPalette::Base), platformBase);

    urlField->setFocus();
    Settle();
    EXPECT_TRUE(Reported(WidgetNumber::UrlField, EventType::FocusGained));
    EXPECT_EQ(urlField->palette().color(QPalette::Base), QColor(235, 235, 236));

    Widget(WidgetNumber::CreateButton)->setFocus();
    Settle();
    EXPECT_TRUE(Reported(WidgetNumber::UrlField, EventType::FocusLost));
    EXPECT_EQ(urlField->palette().color(QPalette::Base), QColor(255, 255, 255));
}

TEST_F(MainWindowTest, PasteReplacesTheWholeFieldWithTheClipboardText) {
    auto* urlField = static_cast<QLineEdit*>(Widget(WidgetNumber::UrlField));
    auto* paste = static_cast<QPushButton*>(Widget(WidgetNumber::PasteButton));
    struct Case {
        const char* name;
        std::function<void(QClipboard*)> fill;
        QString expected;
    };
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const Case cases[] = {
        {"text", [](QClipboard* c) { c->setText(QString::fromUtf8("http://exämple.org/a?b=1&c=2")); },
         QString::fromUtf8("http://exämple.org/a?b=1&c=2")},
        {"empty", [](QClipboard* c) { c->clear(); }, QString()},
        {"picture only", [&](QClipboard* c) { c->setImage(picture); }, QString()},
    };
    for (const Case& c : cases) {
        urlField->setText(QStringLiteral("old text"));
        urlField->setSelection(0, 3);
        c.fill(QApplication::clipboard());
        QTest::mouseClick(paste, Qt::LeftButton);
        Settle();
        EXPECT_EQ(urlField->text(), c.expected) << c.name;
    }
}

TEST_F(MainWindowTest, SpacePressesTheFocusedButtonAndEnterPressesNothing) {
    QWidget* create = Widget(WidgetNumber::CreateButton);
    create->setFocus();
    QTest::keyClick(create, Qt::Key_Return);
    QTest::keyClick(create, Qt::Key_Enter);
    Widget(WidgetNumber::UrlField)->setFocus();
    QTest::keyClick(Widget(WidgetNumber::UrlField), Qt::Key_Return);
    Settle();
    EXPECT_FALSE(Reported(WidgetNumber::CreateButton, EventType::PressOrLeftClick));

    create->setFocus();
    QTest::keyClick(create, Qt::Key_Space);
    Settle();
    EXPECT_TRUE(Reported(WidgetNumber::CreateButton, EventType::PressOrLeftClick));
}

TEST_F(MainWindowTest, CloseRequestIsReportedAndLeavesTheWindowStanding) {
    EXPECT_FALSE(window->close());
    Settle();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().kind, EventKind::CloseRequest);
    EXPECT_TRUE(HandleEvent(EventKind::CloseRequest, WidgetNumber::NewLinkFrame,
                            EventType::PressOrLeftClick, *window));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, MessageLabelShowsPlainTextInTheLargeSerifFont) {
    auto* label = static_cast<QLabel*>(Widget(WidgetNumber::MessageLabel));
    window->SetText(WidgetNumber::MessageLabel, "<b>Fehler</b> <a href=\"x\">hier</a>");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), QStringLiteral("<b>Fehler</b> <a href=\"x\">hier</a>"));
    EXPECT_TRUE(label->wordWrap());

    const QFont font = label->font();
    EXPECT_EQ(font.family(), QStringLiteral("Bodoni MT"));
    EXPECT_EQ(font.pointSize(), 22);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut());
    EXPECT_EQ(font.styleStrategy() & QFont::PreferQuality, QFont::PreferQuality);
    // Whatever face stands in, it is a real one at the requested size.
    EXPECT_FALSE(QFontInfo(font).family().isEmpty());
    EXPECT_EQ(QFontInfo(font).pointSize(), 22);
    // No other widget uses the large font.
    EXPECT_NE(Widget(WidgetNumber::UrlField)->font().pointSize(), 22);
}

TEST_F(MainWindowTest, ColourValuesAreBlueGreenRed) {
    window->SetColour(WidgetNumber::MessageLabel, ColourAttribute::TextColour, 1447679);
    EXPECT_EQ(Widget(WidgetNumber::MessageLabel)->palette().color(QPalette::WindowText),
              QColor(255, 22, 22));
    window->SetGeometry(WidgetNumber::UrlField, kKeep, kKeep, 480, kKeep);
    EXPECT_EQ(Widget(WidgetNumber::UrlField)->geometry(), QRect(20, 30, 480, 20));
    window->SetImage(WidgetNumber::ResultIcon, ImageNumber::ImageSuccess);
    EXPECT_EQ(Widget(WidgetNumber::ResultIcon)->size(), QSize(16, 16));
    // With the field narrowed, the icon stands free.
    EXPECT_EQ(window->ClientArea()->childAt(QPoint(518, 38)), Widget(WidgetNumber::ResultIcon));
}

TEST_F(MainWindowTest, LeftClickInTheTreeIsReportedAfterTheSelectionMovedButKeysReportNothing) {
    WriteFileBytes("url.vlst", "\x7F" "AB\x7F" "xy\x7F" "CD\x7F");
    RefreshEntryList(*window);
    EXPECT_EQ(window->StatusField(0)->text(), QString::fromUtf8("2 Einträge"));
    auto* tree = static_cast<QTreeView*>(Widget(WidgetNumber::EntryTree));
    const QModelIndex cd = window->EntryModel()->IndexOfFlatRow(3);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(cd).center());
    Settle();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().widget, WidgetNumber::EntryTree);
    EXPECT_EQ(reports.back().selectedRow, 3);
    EXPECT_EQ(window->ReadText(WidgetNumber::UrlField), "CD");

    const std::size_t before = reports.size();
    window->SetText(WidgetNumber::UrlField, "typed");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Up);
    Settle();
    EXPECT_EQ(window->SelectedEntryRow(), 1);
    for (std::size_t i = before; i < reports.size(); ++i) {
        EXPECT_NE(reports[i].widget, WidgetNumber::EntryTree);
    }
    EXPECT_EQ(window->ReadText(WidgetNumber::UrlField), "typed");

    // A click on the empty part of the tree acts on the row selected at that moment.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(200, 200));
    Settle();
    EXPECT_EQ(reports.back().widget, WidgetNumber::EntryTree);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, ClickedEntryFillsTheFieldsAndTheBinButtonRemovesIt) {
    WriteFileBytes("url.vlst", "\x7F" "AB\x7F" "xy\x7F" "CD\x7F");
    RefreshEntryList(*window);
    auto* tree = static_cast<QTreeView*>(Widget(WidgetNumber::EntryTree));
    EXPECT_EQ(window->EntryRowCount(), 5);
    EXPECT_FALSE(tree->isExpanded(window->EntryModel()->IndexOfFlatRow(1)));

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualRect(window->EntryModel()->IndexOfFlatRow(1)).center());
    Settle();
    EXPECT_EQ(window->ReadText(WidgetNumber::UrlField), "AB");
    EXPECT_EQ(window->ReadText(WidgetNumber::NoteEditor), "xy");

    QTest::mouseClick(static_cast<QPushButton*>(Widget(WidgetNumber::DeleteButton)), Qt::LeftButton);
    Settle();
    EXPECT_EQ(ReadFileBytes("url.vlst"), "\x7F" "CD\x7F");
    EXPECT_EQ(window->StatusField(0)->text(), QString::fromUtf8("1 Einträge"));
    EXPECT_EQ(window->EntryRowText(1), "CD");
}

}  // namespace
