#include "entry_rows.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "store_file.h"
#include "store_test_helpers.h"

namespace {

struct Row {
    int level;
    std::string text;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.level << ", \"" << row.text << "\"}";
}

std::vector<Row> AllRows(const EntryRows& rows) {
    std::vector<Row> all;
    for (int row = 0; row < rows.RowCount(); ++row) {
        all.push_back({rows.RowLevel(row), rows.RowText(row)});
    }
    return all;
}

const Row kHeader{0, kHeaderRowText};

struct LayoutCase {
    const char* name;
    std::string line;
    std::vector<Row> rows;
    long long entryCount;
};

void PrintTo(const LayoutCase& testCase, std::ostream* out) { *out << testCase.name; }

class EntryRowsLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(EntryRowsLayoutTest, RowsAndCountFollowSeparators) {
    const EntryRows rows(GetParam().line);
    EXPECT_EQ(AllRows(rows), GetParam().rows);
    EXPECT_EQ(rows.EntryCount(), GetParam().entryCount);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, EntryRowsLayoutTest,
    ::testing::Values(
        LayoutCase{"EmptyStore", "", {kHeader}, 0},
        LayoutCase{"WorkedExample",
                   Hex("7F 41 42 7F 78 79 7F 43 44 7F"),
                   {kHeader, {0, "AB"}, {1, "xy"}, {0, "CD"}, {1, ""}},
                   2},
        LayoutCase{"TextBeforeFirstSeparatorHidden",
                   "zz" + Hex("7F 41 42 7F 78 79"),
                   {kHeader, {0, "AB"}, {1, "xy"}},
                   1},
        LayoutCase{"MissingSeparatorBeforeNote",
                   Hex("7F 41 42 7F 78 79 7F 43 44"),
                   {kHeader, {0, "AB"}, {1, "xy"}, {0, "CD"}},
                   1},
        LayoutCase{
            "TrailingSeparator", Hex("7F 41 42 7F 78 79 7F"), {kHeader, {0, "AB"}, {1, "xy"}}, 1},
        LayoutCase{"TwoTrailingSeparators",
                   Hex("7F 41 42 7F 78 79 7F 7F"),
                   {kHeader, {0, "AB"}, {1, "xy"}, {0, ""}, {1, ""}},
                   2},
        LayoutCase{"TextWithoutSeparator", "abc", {kHeader}, 0},
        LayoutCase{"OnlySeparator", Hex("7F"), {kHeader}, 0},
        LayoutCase{"EmptyLinkAndNote", Hex("7F 7F"), {kHeader, {0, ""}, {1, ""}}, 1},
        LayoutCase{"EmptyLinkWithNote", Hex("7F 7F 78"), {kHeader, {0, ""}, {1, "x"}}, 1},
        LayoutCase{"OnlyTrailingText", "zz" + Hex("7F 43 44"), {kHeader, {0, "CD"}}, 0}),
    [](const auto& info) { return info.param.name; });

TEST(EntryRowsTest, DefaultRowsAreThoseOfEmptyStore) {
    const EntryRows rows;
    EXPECT_EQ(AllRows(rows), std::vector<Row>{kHeader});
    EXPECT_EQ(rows.EntryCount(), 0);
}

TEST(EntryRowsTest, RowsOutsideGiveEmptyTextAndLevelZero) {
    const EntryRows rows(Hex("7F 41 42 7F 78 79"));
    for (const int outside : {-1, 3, 4, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(outside);
        EXPECT_EQ(rows.RowText(outside), "");
        EXPECT_EQ(rows.RowLevel(outside), 0);
    }
}

TEST(EntryRowsTest, TextsAreCutAt4095Bytes) {
    const std::string link(5000, 'L');
    const std::string note = std::string(4094, 'N') + "\xE4\xE4";
    const std::string fitting(4095, 'F');
    const EntryRows rows(FieldSeparator + link + FieldSeparator + note + FieldSeparator + fitting);
    EXPECT_EQ(rows.RowText(1), link.substr(0, 4095));
    EXPECT_EQ(rows.RowText(2), note.substr(0, 4095));
    EXPECT_EQ(rows.RowText(3), fitting);
    EXPECT_EQ(rows.RowTextView(1).size(), 4095u);
}

// The separator scan works on blocks of bytes; separators at every position of a block and in
// the tail behind the last whole block must be found alike. A plain split is the reference.
TEST(EntryRowsTest, MatchesPlainSplitOfRandomLines) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(0, 80);
    std::bernoulli_distribution isSeparator(0.2);
    for (int round = 0; round < 2000; ++round) {
        std::string line(static_cast<std::size_t>(length(random)), 'a');
        for (char& byte : line) byte = isSeparator(random) ? FieldSeparator : 'a' + round % 26;
        std::vector<std::string> fields(1);
        for (const char byte : line) {
            if (byte == FieldSeparator) {
                fields.emplace_back();
            } else {
                fields.back() += byte;
            }
        }
        const auto entries = static_cast<long long>(fields.size() - 1) / 2;
        std::vector<Row> expected{kHeader};
        for (long long k = 1; k <= entries; ++k) {
            expected.push_back({0, fields[2 * k - 1]});
            expected.push_back({1, fields[2 * k]});
        }
        if (fields.size() % 2 == 0 && !fields.back().empty())
            expected.push_back({0, fields.back()});

        const EntryRows rows(line);
        ASSERT_EQ(AllRows(rows), expected) << "round " << round;
        ASSERT_EQ(rows.EntryCount(), entries) << "round " << round;
    }
}

TEST(EntryRowsTest, RowsSurviveMove) {
    EntryRows source(Hex("7F 41 42 7F 78 79"));
    const EntryRows moved(std::move(source));
    EXPECT_EQ(AllRows(moved), (std::vector<Row>{kHeader, {0, "AB"}, {1, "xy"}}));
}

}  // namespace
