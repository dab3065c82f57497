#include "entry_actions.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "entry_rows.h"
#include "fake_window.h"
#include "store_file.h"
#include "store_test_helpers.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kWorkedExample = Hex("7F 41 42 7F 78 79 7F 43 44 7F");
// AB with note xy, CD with an empty note, EF with note gh.
const std::string kThreeEntries = Hex("7F 41 42 7F 78 79 7F 43 44 7F 7F 45 46 7F 67 68");
const std::string kLong5000(5000, 'L');

class EntryActionsTest : public ::testing::Test {
protected:
    std::string Store() const { return ReadFileBytes(kStoreFileName); }
    // Writes the store and builds the list from it, as start-up does.
    void Load(const std::string& store) {
        WriteFileBytes(kStoreFileName, store);
        RefreshEntryList(m_window);
    }

    ScopedTempDir m_dir;
    FakeWindow m_window;
};

struct RefreshCase {
    const char* name;
    std::function<void()> prepare;
    int rowCount;
    std::string status;
};

void PrintTo(const RefreshCase& testCase, std::ostream* out) { *out << testCase.name; }

class RefreshEntryListTest : public EntryActionsTest,
                             public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(RefreshEntryListTest, FillsRowsAndCount) {
    GetParam().prepare();
    RefreshEntryList(m_window);
    EXPECT_EQ(m_window.rows.RowCount(), GetParam().rowCount);
    EXPECT_EQ(m_window.rows.RowText(0), kHeaderRowText);
    EXPECT_EQ(m_window.statusTexts[0], GetParam().status);
}

void WriteStore(const std::string& bytes) { WriteFileBytes(kStoreFileName, bytes); }

INSTANTIATE_TEST_SUITE_P(
    Stores, RefreshEntryListTest,
    ::testing::Values(
        RefreshCase{"MissingStore", [] {}, 1, "0 Eintr\xE4ge"},
        RefreshCase{"EmptyStore", [] { WriteStore(""); }, 1, "0 Eintr\xE4ge"},
        RefreshCase{"OneEntrySameWord", [] { WriteStore(Hex("7F 41 42 7F")); }, 3, "1 Eintr\xE4ge"},
        RefreshCase{"WorkedExample", [] { WriteStore(kWorkedExample); }, 5, "2 Eintr\xE4ge"},
        RefreshCase{"TrailingRowNotCounted", [] { WriteStore(Hex("7F 41 42 7F 78 79 7F 43 44")); },
                    4, "1 Eintr\xE4ge"},
        RefreshCase{"DirectoryNamedLikeStore", [] { fs::create_directory(kStoreFileName); }, 1,
                    "0 Eintr\xE4ge"}),
    [](const auto& info) { return info.param.name; });

TEST_F(EntryActionsTest, RefreshShowsStoreAsItIsNow) {
    Load(kWorkedExample);
    WriteStore(kThreeEntries);
    RefreshEntryList(m_window);
    EXPECT_EQ(m_window.rows.RowText(5), "EF");
    EXPECT_EQ(m_window.statusTexts[0], "3 Eintr\xE4ge");
}

struct CutCase {
    const char* name;
    std::string line;
    long long k;
    std::string cut;
};

void PrintTo(const CutCase& testCase, std::ostream* out) { *out << testCase.name; }

class CutEntryTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutEntryTest, CutsEntryByPosition) {
    EXPECT_EQ(CutEntry(GetParam().line, GetParam().k), GetParam().cut);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CutEntryTest,
    ::testing::Values(CutCase{"WorkedExampleFirst", kWorkedExample, 1, Hex("7F 43 44 7F")},
                      CutCase{"WorkedExampleSecond", kWorkedExample, 2, Hex("7F 41 42 7F 78 79")},
                      CutCase{"MiddleWithEmptyNote", kThreeEntries, 2,
                              Hex("7F 41 42 7F 78 79 7F 45 46 7F 67 68")},
                      CutCase{"OnlyEntry", Hex("7F 41 42 7F 78 79"), 1, ""},
                      CutCase{"NoEntryZero", kWorkedExample, 0, kWorkedExample},
                      CutCase{"NoEntryBeyond", kWorkedExample, 3, kWorkedExample},
                      CutCase{"NoEntryHuge", kWorkedExample, 1LL << 62, kWorkedExample},
                      CutCase{"TrailingRowIsNoEntry", Hex("7F 41 42 7F 78 79 7F 43 44"), 2,
                              Hex("7F 41 42 7F 78 79 7F 43 44")},
                      CutCase{"TextBeforeFirstSeparatorKept", "zz" + kWorkedExample, 1,
                              "zz" + Hex("7F 43 44 7F")}),
    [](const auto& info) { return info.param.name; });

struct ShowCase {
    const char* name;
    int selected;
    bool changes;  // false: both fields keep what they held, untouched
    std::string url;
    std::string note;
};

void PrintTo(const ShowCase& testCase, std::ostream* out) { *out << testCase.name; }

class ShowSelectedEntryTest : public EntryActionsTest,
                              public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowSelectedEntryTest, FillsOrEmptiesFields) {
    // AB/xy, CD/"", a link and note over 4095 bytes, and the childless trailing row EF.
    Load(kWorkedExample + FieldSeparator + kLong5000 + FieldSeparator + kLong5000 + FieldSeparator +
         "EF");
    m_window.texts[WidgetNumber::UrlField] = "typed url";
    m_window.texts[WidgetNumber::NoteEditor] = "typed note";
    m_window.calls.clear();
    m_window.selectedRow = GetParam().selected;

    ShowSelectedEntry(m_window);

    if (!GetParam().changes) {
        EXPECT_TRUE(m_window.calls.empty());
        EXPECT_EQ(m_window.texts[WidgetNumber::UrlField], "typed url");
        EXPECT_EQ(m_window.texts[WidgetNumber::NoteEditor], "typed note");
        return;
    }
    EXPECT_EQ(m_window.texts[WidgetNumber::UrlField], GetParam().url);
    EXPECT_EQ(m_window.texts[WidgetNumber::NoteEditor], GetParam().note);
    EXPECT_EQ(Store(), kWorkedExample + FieldSeparator + kLong5000 + FieldSeparator + kLong5000 +
                           FieldSeparator + "EF");
}

INSTANTIATE_TEST_SUITE_P(Rows, ShowSelectedEntryTest,
                         ::testing::Values(ShowCase{"HeaderRowKeepsFields", 0, false, "", ""},
                                           ShowCase{"NoRowKeepsFields", -1, false, "", ""},
                                           ShowCase{"LinkRow", 1, true, "AB", "xy"},
                                           ShowCase{"NoteRowEmptiesBoth", 2, true, "", ""},
                                           ShowCase{"LinkWithEmptyNote", 3, true, "CD", ""},
                                           ShowCase{"EmptyNoteRowEmptiesBoth", 4, true, "", ""},
                                           ShowCase{"LongTextsCutAt4095", 5, true,
                                                    kLong5000.substr(0, 4095),
                                                    kLong5000.substr(0, 4095)},
                                           ShowCase{"ChildlessLastRow", 7, true, "EF", ""}),
                         [](const auto& info) { return info.param.name; });

struct DeleteCase {
    const char* name;
    std::string store;
    int selected;
    std::string after;
};

void PrintTo(const DeleteCase& testCase, std::ostream* out) { *out << testCase.name; }

class DeleteSelectedEntryTest : public EntryActionsTest,
                                public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteSelectedEntryTest, LeavesEveryOtherByte) {
    Load(GetParam().store);
    m_window.selectedRow = GetParam().selected;
    DeleteSelectedEntry(m_window);
    ASSERT_TRUE(fs::is_regular_file(kStoreFileName));
    EXPECT_EQ(Store(), GetParam().after);
    // The list is rebuilt from the rewritten file.
    const EntryRows expected(ReadStoreLine());
    ASSERT_EQ(m_window.rows.RowCount(), expected.RowCount());
    for (int row = 0; row < expected.RowCount(); ++row) {
        EXPECT_EQ(m_window.rows.RowText(row), expected.RowText(row)) << "row " << row;
    }
    EXPECT_EQ(m_window.statusTexts[0], std::to_string(expected.EntryCount()) + " Eintr\xE4ge");
}

std::string Record(const std::string& link, const std::string& note) {
    return FieldSeparator + link + FieldSeparator + note;
}

INSTANTIATE_TEST_SUITE_P(
    Stores, DeleteSelectedEntryTest,
    ::testing::Values(
        DeleteCase{"WorkedExampleFirst", kWorkedExample, 1, Hex("7F 43 44 7F")},
        DeleteCase{"WorkedExampleSecond", kWorkedExample, 3, Hex("7F 41 42 7F 78 79")},
        DeleteCase{"FirstOfThree", kThreeEntries, 1, Hex("7F 43 44 7F 7F 45 46 7F 67 68")},
        DeleteCase{"MiddleOfThreeWithEmptyNote", kThreeEntries, 3,
                   Hex("7F 41 42 7F 78 79 7F 45 46 7F 67 68")},
        DeleteCase{"LastOfThree", kThreeEntries, 5, Hex("7F 41 42 7F 78 79 7F 43 44 7F")},
        DeleteCase{"OnlyEntryLeavesZeroBytes", Hex("7F 41 42 7F 78 79"), 1, ""},
        DeleteCase{"SameNoteAsOther", Record("A", "same") + Record("B", "same"), 3,
                   Record("A", "same")},
        DeleteCase{"SameNoteAsOtherFirst",
                   Record("A", "same") + Record("A", "same") + Record("B", "x"), 3,
                   Record("A", "same") + Record("B", "x")},
        DeleteCase{"LinkBeginsOthersLink", Record("http://x/ab", "n") + Record("http://x/a", "n"),
                   3, Record("http://x/ab", "n")},
        DeleteCase{"OthersLinkBeginsLink", Record("http://x/a", "n") + Record("http://x/ab", "n"),
                   3, Record("http://x/a", "n")},
        DeleteCase{"NoteContainsOthersLink",
                   Record("http://s/1", "see http://s/2") + Record("http://s/2", ""), 3,
                   Record("http://s/1", "see http://s/2")},
        DeleteCase{"TextsOver4095Bytes", Record(kLong5000, kLong5000) + Record("AB", "xy"), 1,
                   Record("AB", "xy")},
        DeleteCase{"EmptyLink", Record("", "") + Record("AB", "xy"), 1, Record("AB", "xy")},
        DeleteCase{"TextBeforeFirstSeparatorKept", "zz" + kWorkedExample, 1,
                   "zz" + Hex("7F 43 44 7F")},
        DeleteCase{"BytesBehindLineEndKept", Hex("7F 41 42 7F 78 79 0A 7F 43 44 7F"), 1,
                   Hex("0A 7F 43 44 7F")},
        DeleteCase{"EntryBeforeTrailingRow", Hex("7F 41 42 7F 78 79 7F 43 44"), 1,
                   Hex("7F 43 44")}),
    [](const auto& info) { return info.param.name; });

struct KeepCase {
    const char* name;
    std::string store;
    int selected;
};

void PrintTo(const KeepCase& testCase, std::ostream* out) { *out << testCase.name; }

class DeleteWithoutEntryTest : public EntryActionsTest,
                               public ::testing::WithParamInterface<KeepCase> {};

TEST_P(DeleteWithoutEntryTest, ChangesNothing) {
    Load(GetParam().store);
    m_window.selectedRow = GetParam().selected;
    m_window.calls.clear();
    DeleteSelectedEntry(m_window);
    EXPECT_EQ(Store(), GetParam().store);
    EXPECT_TRUE(m_window.calls.empty()) << "the list was rebuilt";
}

INSTANTIATE_TEST_SUITE_P(Selections, DeleteWithoutEntryTest,
                         ::testing::Values(KeepCase{"HeaderRow", kWorkedExample, 0},
                                           KeepCase{"NoteRow", kWorkedExample, 2},
                                           KeepCase{"EmptyNoteRow", kWorkedExample, 4},
                                           KeepCase{"NoRow", kWorkedExample, -1},
                                           KeepCase{"BeyondLastRow", kWorkedExample, 5},
                                           KeepCase{"ChildlessTrailingRow",
                                                    Hex("7F 41 42 7F 78 79 7F 43 44"), 3},
                                           KeepCase{"HeaderOfEmptyStore", "", 0}),
                         [](const auto& info) { return info.param.name; });

// Another copy of the program changes the store between building the list and the deletion.
struct StaleCase {
    const char* name;
    std::function<void()> otherCopy;
    int selected;
    std::function<std::string()> after;
};

void PrintTo(const StaleCase& testCase, std::ostream* out) { *out << testCase.name; }

class DeleteAfterOtherCopyTest : public EntryActionsTest,
                                 public ::testing::WithParamInterface<StaleCase> {};

TEST_P(DeleteAfterOtherCopyTest, DeletesOnlyEntryUserSaw) {
    Load(kThreeEntries);
    GetParam().otherCopy();
    m_window.selectedRow = GetParam().selected;
    DeleteSelectedEntry(m_window);
    EXPECT_EQ(Store(), GetParam().after());
    EXPECT_EQ(m_window.statusTexts[0],
              std::to_string(EntryRows(Store()).EntryCount()) + " Eintr\xE4ge");
}

void DeleteFirstElsewhere() {
    RewriteStore([](const std::string& line) { return CutEntry(line, 1); });
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DeleteAfterOtherCopyTest,
    ::testing::Values(
        // Entry 2 is now EF/gh, not the CD the user selected.
        StaleCase{"EntriesShiftedKeepsAll", DeleteFirstElsewhere, 3,
                  [] { return CutEntry(kThreeEntries, 1); }},
        StaleCase{"SelectedEntryGoneKeepsAll", DeleteFirstElsewhere, 5,
                  [] { return CutEntry(kThreeEntries, 1); }},
        StaleCase{"AppendedEntryLeavesPositions", [] { AppendStoreRecord("GH", "ij"); }, 3,
                  [] { return CutEntry(kThreeEntries, 2) + Record("GH", "ij"); }}),
    [](const auto& info) { return info.param.name; });

// Four copies append and delete against one store at once. Each deletes only its own records,
// through the list as a user would, and repeats a deletion that a change of another copy
// refused; afterwards the store must hold exactly the records that were not deleted.
class StoreConcurrencyTest : public EntryActionsTest {
protected:
    static constexpr int kCopies = 4;
    // 3000 appends and 1000 deletions in all.
    static constexpr int kAppendsPerCopy = 750;
    static constexpr int kMaxDeleteAttempts = 2000;

    static std::string LinkOf(int copy, int i) {
        return "http://localhost/c" + std::to_string(copy) + "i" + std::to_string(i);
    }
    // Notes that repeat across copies, are empty, or hold another copy's link.
    static std::string NoteOf(int copy, int i) {
        switch (i % 4) {
            case 0:
                return "same";
            case 1:
                return "";
            case 2:
                return "see " + LinkOf((copy + 1) % kCopies, i);
            default:
                return "note " + std::to_string(copy) + " " + std::to_string(i);
        }
    }
    // Record i - 1 is deleted right after record i is appended, for every i % 3 == 2.
    static bool IsDeleted(int i) { return i % 3 == 1 && i + 1 < kAppendsPerCopy; }

    // True once the record is gone after this copy's deletion.
    static bool DeleteOwnRecord(const std::string& link, const std::string& note) {
        FakeWindow window;
        for (int attempt = 0; attempt < kMaxDeleteAttempts; ++attempt) {
            RefreshEntryList(window);
            int found = -1;
            for (int row = 1; row + 1 < window.rows.RowCount() && found < 0; row += 2) {
                if (window.rows.RowTextView(row) == link &&
                    window.rows.RowTextView(row + 1) == note) {
                    found = row;
                }
            }
            if (found < 0) return attempt > 0;  // Nobody else deletes this copy's records.
            window.selectedRow = found;
            DeleteSelectedEntry(window);
        }
        return false;
    }

    static int RunCopy(int copy) {
        for (int i = 0; i < kAppendsPerCopy; ++i) {
            AppendStoreRecord(LinkOf(copy, i), NoteOf(copy, i));
            if (i % 3 == 2 && !DeleteOwnRecord(LinkOf(copy, i - 1), NoteOf(copy, i - 1))) {
                return 2;
            }
        }
        return 0;
    }
};

TEST_F(StoreConcurrencyTest, CopiesNeverLoseOrGarbleEachOthersRecords) {
    EnsureStoreFile();
    std::vector<pid_t> children;
    for (int copy = 0; copy < kCopies; ++copy) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(RunCopy(copy));
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a copy could not delete its own record";
    }

    const std::string line = ReadStoreLine();
    EXPECT_EQ(line, Store()) << "the store holds a line end";
    const EntryRows rows(line);
    EXPECT_EQ(rows.RowCount(), 1 + 2 * rows.EntryCount()) << "odd number of separators";
    ASSERT_TRUE(line.empty() || line.front() == FieldSeparator);

    // Per copy in append order: concurrent appends interleave, but each copy's own stay in order.
    std::map<int, std::vector<std::pair<std::string, std::string>>> found;
    for (int row = 1; row + 1 < rows.RowCount(); row += 2) {
        const std::string link = rows.RowText(row);
        const std::string prefix = "http://localhost/c";
        const bool ours = link.size() > prefix.size() && link.rfind(prefix, 0) == 0;
        const int copy = ours ? link[prefix.size()] - '0' : -1;
        found[copy].emplace_back(link, rows.RowText(row + 1));
    }
    EXPECT_EQ(found.count(-1), 0u) << "records of no copy";
    for (int copy = 0; copy < kCopies; ++copy) {
        std::vector<std::pair<std::string, std::string>> expected;
        for (int i = 0; i < kAppendsPerCopy; ++i) {
            if (!IsDeleted(i)) expected.emplace_back(LinkOf(copy, i), NoteOf(copy, i));
        }
        EXPECT_EQ(found[copy], expected) << "copy " << copy;
    }
}

}  // namespace
