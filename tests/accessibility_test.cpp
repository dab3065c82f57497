#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "image_store.h"
#include "main_window.h"

namespace {

// What a screen reader is told, read the way it reads it: through Qt's accessibility interface.
QString Accessible(QObject* object, QAccessible::Text kind) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(kind) : QStringLiteral("<no interface>");
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        DecodeEmbeddedImages();
        window.reset(BuildMainWindow());
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        window.reset();
        ReleaseImages();
    }

    QWidget* Widget(WidgetNumber number) const { return window->Widget(number); }
    QString Name(WidgetNumber number) const {
        return Accessible(Widget(number), QAccessible::Name);
    }

    // Every widget a Tab or Shift+Tab can land on, whether or not the window puts it in its order.
    std::set<QWidget*> FocusableWidgets() const {
        std::set<QWidget*> focusable;
        for (QWidget* child : window->findChildren<QWidget*>()) {
            if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(window.get()) &&
                child->isEnabled()) {
                focusable.insert(child);
            }
        }
        return focusable;
    }

    std::unique_ptr<MainWindow> window;
};

// Sorted accessible names, so that a failure says which widgets differ.
std::string NamesOf(const std::set<QWidget*>& widgets) {
    QStringList names;
    for (QWidget* widget : widgets) names << Accessible(widget, QAccessible::Name);
    names.sort();
    return names.join(QStringLiteral(", ")).toStdString();
}

TEST_F(AccessibilityTest, EveryWidgetAndStatusFieldHasItsGermanName) {
    struct Case {
        WidgetNumber widget;
        const char* name;  // UTF-8
    };
    const Case cases[] = {
        {WidgetNumber::NewLinkFrame, "Neuer Vemo"},
        {WidgetNumber::UrlField, "URL"},
        {WidgetNumber::NoteEditor, "Notiz"},
        {WidgetNumber::EntryTree, "Gespeicherte Einträge"},
        {WidgetNumber::GlobeView, "Globus"},
        {WidgetNumber::StarView, "Stern"},
        {WidgetNumber::DeleteButton, "Eintrag löschen"},
        {WidgetNumber::FolderView, "Ordner"},
        {WidgetNumber::PasteButton, "Einfügen"},
        {WidgetNumber::CreateButton, "Erstellen"},
        {WidgetNumber::MessageLabel, "Meldung"},
    };
    for (const Case& c : cases) {
        ASSERT_NE(Widget(c.widget), nullptr) << static_cast<int>(c.widget);
        EXPECT_EQ(Name(c.widget), QString::fromUtf8(c.name)) << static_cast<int>(c.widget);
    }

    const char* const fieldNames[] = {"Anzahl der Einträge", "Status", "Herausgeber"};
    for (int field = 0; field < 3; ++field) {
        EXPECT_EQ(Accessible(window->StatusField(field), QAccessible::Name),
                  QString::fromUtf8(fieldNames[field]))
            << field;
    }
}

TEST_F(AccessibilityTest, ImageOnlyDeleteButtonCarriesItsNameAsToolTip) {
    auto* button = qobject_cast<QPushButton*>(Widget(WidgetNumber::DeleteButton));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->text().isEmpty());
    EXPECT_EQ(button->toolTip(), QString::fromUtf8("Eintrag löschen"));
}

TEST_F(AccessibilityTest, ResultIconNamesTheOutcomeItShows) {
    EXPECT_TRUE(Name(WidgetNumber::ResultIcon).isEmpty());

    struct Outcome {
        ImageNumber image;
        const char* name;
    };
    // Each outcome replaces the one before, in an order that no single default could pass.
    const Outcome outcomes[] = {
        {ImageNumber::ImageWarning, "Warnung"},
        {ImageNumber::ImageSuccess, "Erfolg"},
        {ImageNumber::ImageError, "Fehler"},
        {ImageNumber::ImageSuccess, "Erfolg"},
    };
    for (const Outcome& outcome : outcomes) {
        window->SetImage(WidgetNumber::ResultIcon, outcome.image);
        EXPECT_EQ(Name(WidgetNumber::ResultIcon), QString::fromUtf8(outcome.name))
            << static_cast<int>(outcome.image);
    }

    // Only ResultIcon speaks of outcomes: another view given an outcome picture keeps its name.
    window->SetImage(WidgetNumber::GlobeView, ImageNumber::ImageError);
    EXPECT_EQ(Name(WidgetNumber::GlobeView), QStringLiteral("Globus"));
    EXPECT_EQ(Name(WidgetNumber::ResultIcon), QStringLiteral("Erfolg"));
}

TEST_F(AccessibilityTest, ChangingTextsOfMessageAndStatusFieldsReachScreenReaders) {
    EXPECT_EQ(Accessible(window->StatusField(2), QAccessible::Description),
              QStringLiteral("By Talwick"));

    window->SetText(WidgetNumber::MessageLabel, "Erfolgreich eingetragen");
    window->SetStatusText(0, "3 Eintr\xE4ge");

    EXPECT_EQ(Name(WidgetNumber::MessageLabel), QStringLiteral("Meldung"));
    EXPECT_EQ(Accessible(Widget(WidgetNumber::MessageLabel), QAccessible::Description),
              QStringLiteral("Erfolgreich eingetragen"));
    EXPECT_EQ(Accessible(window->StatusField(0), QAccessible::Name),
              QString::fromUtf8("Anzahl der Einträge"));
    EXPECT_EQ(Accessible(window->StatusField(0), QAccessible::Description),
              QString::fromUtf8("3 Einträge"));

    window->SetText(WidgetNumber::MessageLabel, "");
    EXPECT_TRUE(Accessible(Widget(WidgetNumber::MessageLabel), QAccessible::Description).isEmpty());
}

// Tab types a tab character inside the note, so a keyboard user leaves it with Shift+Tab: from
// any focusable widget, Tab and Shift+Tab together must reach every other one.
TEST_F(AccessibilityTest, EveryFocusableWidgetIsReachableByKeyboardAndNamed) {
    const std::set<QWidget*> focusable = FocusableWidgets();
    ASSERT_EQ(focusable.size(), 6u);

    for (QWidget* start : focusable) {
        EXPECT_FALSE(Accessible(start, QAccessible::Name).isEmpty())
            << start->metaObject()->className();

        std::set<QWidget*> reached = {start};
        std::vector<QWidget*> pending = {start};
        while (!pending.empty()) {
            QWidget* from = pending.back();
            pending.pop_back();
            for (bool backwards : {false, true}) {
                from->setFocus(Qt::OtherFocusReason);
                ASSERT_EQ(QApplication::focusWidget(), from) << from->metaObject()->className();
                if (backwards) {
                    QTest::keyClick(from, Qt::Key_Backtab, Qt::ShiftModifier);
                } else {
                    QTest::keyClick(from, Qt::Key_Tab);
                }
                QWidget* to = QApplication::focusWidget();
                if (to != nullptr && reached.insert(to).second) pending.push_back(to);
            }
        }
        EXPECT_EQ(NamesOf(reached), NamesOf(focusable))
            << "starting at " << Accessible(start, QAccessible::Name).toStdString();
    }
}

}  // namespace
