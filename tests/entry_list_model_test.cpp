#include "entry_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QStringList>
#include <QTreeView>
#include <string>

#include "store_file.h"
#include "store_test_helpers.h"
#include "text_codec.h"

namespace {

// Collects what QAbstractItemModelTester reports while it lives.
class ModelWarnings {
public:
    ModelWarnings() { s_previous = qInstallMessageHandler(&Collect); }
    ~ModelWarnings() { qInstallMessageHandler(s_previous); }
    ModelWarnings(const ModelWarnings&) = delete;
    ModelWarnings& operator=(const ModelWarnings&) = delete;

    QStringList Take() { return std::exchange(s_messages, {}); }

private:
    static void Collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg) s_messages << message;
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_messages;
};

const std::string kWorkedExample = Hex("7F 41 42 7F 78 79 7F 43 44 7F");

struct ModelCase {
    const char* name;
    std::string line;
};

void PrintTo(const ModelCase& testCase, std::ostream* out) { *out << testCase.name; }

const ModelCase kModelCases[] = {
    {"EmptyStore", ""},
    {"WorkedExample", kWorkedExample},
    {"TextBeforeFirstSeparator", "zz" + Hex("7F 41 42 7F 78 79")},
    {"TrailingRow", Hex("7F 41 42 7F 78 79 7F 43 44")},
    {"OnlyTrailingRow", Hex("7F 43 44")},
    {"TrailingSeparator", Hex("7F 41 42 7F 78 79 7F")},
    {"TwoTrailingSeparators", Hex("7F 41 42 7F 78 79 7F 7F")},
    {"Windows1252Texts", Hex("7F 80 E4 7F 9F FF")},
};

class EntryListModelTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(EntryListModelTest, PassesModelTester) {
    EntryListModel model;
    model.SetRows(EntryRows(GetParam().line));
    ModelWarnings warnings;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(warnings.Take(), QStringList());
}

TEST_P(EntryListModelTest, FlatRowsMapToTreeOfLinksAndNotes) {
    const EntryRows rows(GetParam().line);
    EntryListModel model;
    model.SetRows(EntryRows(GetParam().line));

    int rowsInTree = 0;
    for (int top = 0; top < model.rowCount(); ++top) {
        rowsInTree += 1 + model.rowCount(model.index(top, 0));
    }
    EXPECT_EQ(rowsInTree, rows.RowCount());

    for (int row = 0; row < rows.RowCount(); ++row) {
        SCOPED_TRACE(row);
        const QModelIndex index = model.IndexOfFlatRow(row);
        ASSERT_TRUE(index.isValid());
        EXPECT_EQ(model.FlatRowOf(index), row);
        EXPECT_EQ(index.data().toString(), FromWindows1252(rows.RowText(row)));
        if (rows.RowLevel(row) == 1) {
            // A note is the only child of the link row just above it.
            EXPECT_EQ(model.FlatRowOf(index.parent()), row - 1);
            EXPECT_EQ(index.row(), 0);
            EXPECT_EQ(model.rowCount(index.parent()), 1);
            EXPECT_EQ(model.rowCount(index), 0);
        } else {
            EXPECT_FALSE(index.parent().isValid());
            const bool linkRow = rows.RowLevel(row + 1) == 1;
            EXPECT_EQ(model.rowCount(index), linkRow ? 1 : 0);
        }
    }
    EXPECT_FALSE(model.IndexOfFlatRow(-1).isValid());
    EXPECT_FALSE(model.IndexOfFlatRow(rows.RowCount()).isValid());
}

INSTANTIATE_TEST_SUITE_P(Stores, EntryListModelTest, ::testing::ValuesIn(kModelCases),
                         [](const auto& info) { return info.param.name; });

TEST(EntryListModelResetTest, StaysConsistentThroughResets) {
    EntryListModel model;
    ModelWarnings warnings;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    for (const ModelCase& store : kModelCases) model.SetRows(EntryRows(store.line));
    model.SetRows(EntryRows());
    EXPECT_EQ(warnings.Take(), QStringList());
}

TEST(EntryListModelResetTest, ResetCollapsesEveryRow) {
    EntryListModel model;
    QTreeView view;
    view.setModel(&model);
    model.SetRows(EntryRows(kWorkedExample));
    view.expandAll();
    ASSERT_TRUE(view.isExpanded(model.IndexOfFlatRow(1)));
    model.SetRows(EntryRows(kWorkedExample + Hex("7F 45 46 7F")));
    EXPECT_FALSE(view.isExpanded(model.IndexOfFlatRow(1)));
    EXPECT_FALSE(view.isExpanded(model.IndexOfFlatRow(3)));
}

TEST(EntryListModelMappingTest, DisplaysHeaderAndWindows1252Texts) {
    EntryListModel model;
    model.SetRows(EntryRows(Hex("7F 80 E4 7F 9F FF")));
    EXPECT_EQ(model.IndexOfFlatRow(0).data().toString(), QStringLiteral("Alle Eintr\u00E4ge"));
    EXPECT_EQ(model.IndexOfFlatRow(1).data().toString(), QStringLiteral("\u20AC\u00E4"));
    EXPECT_EQ(model.IndexOfFlatRow(2).data().toString(), QStringLiteral("\u0178\u00FF"));
}

TEST(EntryListModelMappingTest, IndexesOfOtherModelsHaveNoFlatRow) {
    EntryListModel model;
    EntryListModel other;
    model.SetRows(EntryRows(kWorkedExample));
    other.SetRows(EntryRows(kWorkedExample));
    EXPECT_EQ(model.FlatRowOf(QModelIndex()), -1);
    EXPECT_EQ(model.FlatRowOf(other.IndexOfFlatRow(1)), -1);
}

}  // namespace
