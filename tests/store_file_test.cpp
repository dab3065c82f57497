#include "store_file.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "entry_actions.h"
#include "store_test_helpers.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kWorkedExample = Hex("7F 41 42 7F 78 79 7F 43 44 7F");

class StoreFileTest : public ::testing::Test {
protected:
    std::string Store() const { return ReadFileBytes(kStoreFileName); }
    void SetStore(const std::string& bytes) const { WriteFileBytes(kStoreFileName, bytes); }

    ScopedTempDir m_dir;
};

// Whether this process holds a descriptor of the store file.
bool HoldsStoreHandle() {
    const fs::path store = fs::current_path() / kStoreFileName;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == store) return true;
    }
    return false;
}

TEST_F(StoreFileTest, EnsureCreatesEmptyStoreWhenMissing) {
    EnsureStoreFile();
    ASSERT_TRUE(fs::is_regular_file(kStoreFileName));
    EXPECT_EQ(fs::file_size(kStoreFileName), 0u);
    EXPECT_EQ(ReadStoreLine(), "");
}

TEST_F(StoreFileTest, EnsureLeavesExistingStoreUnchanged) {
    for (const std::string& content : {std::string(), kWorkedExample}) {
        SetStore(content);
        EnsureStoreFile();
        EXPECT_EQ(Store(), content);
    }
}

TEST_F(StoreFileTest, EnsureLeavesHandleOpenUntilNextStoreOperation) {
    const std::vector<std::pair<const char*, std::function<void()>>> nextOperations = {
        {"read", [] { ReadStoreLine(); }},
        {"append", [] { AppendStoreRecord("AB", "xy"); }},
        {"rewrite", [] { RewriteStore([](const std::string& line) { return line; }); }},
    };
    for (const auto& [name, operation] : nextOperations) {
        SCOPED_TRACE(name);
        EnsureStoreFile();
        EXPECT_TRUE(HoldsStoreHandle());
        operation();
        EXPECT_FALSE(HoldsStoreHandle());
    }
}

struct ReadCase {
    const char* name;
    std::string content;
    std::string line;
};

void PrintTo(const ReadCase& testCase, std::ostream* out) { *out << testCase.name; }

class ReadStoreLineTest : public StoreFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadStoreLineTest, ReadsUpToFirstStopByte) {
    SetStore(GetParam().content);
    EXPECT_EQ(ReadStoreLine(), GetParam().line);
}

std::string Filled(std::size_t size) { return std::string(size, 'a'); }

INSTANTIATE_TEST_SUITE_P(
    Stores, ReadStoreLineTest,
    ::testing::Values(
        ReadCase{"Empty", "", ""}, ReadCase{"WorkedExample", kWorkedExample, kWorkedExample},
        ReadCase{"CrLf", Hex("7F 41 42 7F 78 0D 0A 79"), Hex("7F 41 42 7F 78")},
        ReadCase{"Cr", Hex("7F 41 0D 42"), Hex("7F 41")},
        ReadCase{"Lf", Hex("7F 41 0A 42"), Hex("7F 41")},
        ReadCase{"Nul", Hex("7F 41 00 42 0A"), Hex("7F 41")},
        ReadCase{"LeadingLf", Hex("0A 7F 41"), ""},
        ReadCase{"HighBytesKept", Hex("7F E4 80 FF 7F 09"), Hex("7F E4 80 FF 7F 09")},
        // Longer than one read, with the line end far inside or at the very end.
        ReadCase{"LongWithoutLineEnd", Filled(3'000'017), Filled(3'000'017)},
        ReadCase{"LongLineEndAtMiB", Filled(1 << 20) + "\n" + Filled(2'000'000), Filled(1 << 20)},
        ReadCase{"LongNulNearEnd", Filled(2'500'000) + '\0' + "b", Filled(2'500'000)}),
    [](const auto& info) { return info.param.name; });

TEST_F(StoreFileTest, ReadOfMissingStoreIsEmptyAndCreatesNothing) {
    EXPECT_EQ(ReadStoreLine(), "");
    EXPECT_FALSE(fs::exists(kStoreFileName));
}

TEST_F(StoreFileTest, AppendBuildsWorkedExample) {
    AppendStoreRecord("AB", "xy");
    EXPECT_EQ(Store(), Hex("7F 41 42 7F 78 79"));
    AppendStoreRecord("CD", "");
    EXPECT_EQ(Store(), kWorkedExample);
}

TEST_F(StoreFileTest, RecordAfterEmptyNoteFollowsItsSeparatorDirectly) {
    SetStore(kWorkedExample);
    AppendStoreRecord("EF", "gh");
    EXPECT_EQ(Store(), kWorkedExample + Hex("7F 45 46 7F 67 68"));
}

TEST_F(StoreFileTest, AppendLandsAfterLastByteWhateverItIs) {
    SetStore(Hex("7F 41 42 7F 78 0A"));
    AppendStoreRecord("CD", "");
    EXPECT_EQ(Store(), Hex("7F 41 42 7F 78 0A 7F 43 44 7F"));
}

TEST_F(StoreFileTest, AppendStoresSafeFormsOfLinkAndNote) {
    AppendStoreRecord("AB\r\n", std::string("x\ny\x7F\0z", 7));
    EXPECT_EQ(Store(), Hex("7F 41 42 7F 78 20 79 7A"));
    EXPECT_EQ(ReadStoreLine(), Store());
}

TEST_F(StoreFileTest, RewriteWritesEditedLine) {
    SetStore(kWorkedExample);
    std::string seen;
    RewriteStore([&](const std::string& line) {
        seen = line;
        return line + Hex("45 46");
    });
    EXPECT_EQ(seen, kWorkedExample);
    EXPECT_EQ(Store(), kWorkedExample + Hex("45 46"));
}

TEST_F(StoreFileTest, RewriteToEmptyLineLeavesZeroByteFile) {
    SetStore(Hex("7F 41 42 7F 78 79"));
    RewriteStore([](const std::string&) { return std::string(); });
    ASSERT_TRUE(fs::is_regular_file(kStoreFileName));
    EXPECT_EQ(fs::file_size(kStoreFileName), 0u);
}

TEST_F(StoreFileTest, RewriteOfMissingStoreCreatesIt) {
    std::string seen = "not called";
    RewriteStore([&](const std::string& line) {
        seen = line;
        return std::string();
    });
    EXPECT_EQ(seen, "");
    ASSERT_TRUE(fs::is_regular_file(kStoreFileName));
    EXPECT_EQ(fs::file_size(kStoreFileName), 0u);
}

TEST_F(StoreFileTest, RewriteKeepsBytesBehindFirstLineEnd) {
    const std::string behind = Hex("0D 0A 7F 43 44 7F 00 79");
    SetStore(Hex("7F 41 42 7F 78 79") + behind);
    RewriteStore([](const std::string& line) {
        EXPECT_EQ(line, Hex("7F 41 42 7F 78 79"));
        return std::string();
    });
    EXPECT_EQ(Store(), behind);
}

TEST_F(StoreFileTest, RewriteKeepsPermissionsAndLeavesNoOtherFile) {
    SetStore(kWorkedExample);
    fs::permissions(kStoreFileName,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    RewriteStore([](const std::string& line) { return CutEntry(line, 1); });
    EXPECT_EQ(Store(), Hex("7F 43 44 7F"));
    EXPECT_EQ(fs::status(kStoreFileName).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(StoreFileTest, DirectoryNamedLikeStoreActsAsEmptyStore) {
    fs::create_directory(kStoreFileName);
    EnsureStoreFile();
    EXPECT_EQ(ReadStoreLine(), "");
    AppendStoreRecord("AB", "xy");
    bool edited = false;
    RewriteStore([&](const std::string& line) {
        edited = true;
        return line;
    });
    EXPECT_FALSE(edited);
    EXPECT_TRUE(fs::is_directory(kStoreFileName));
    EXPECT_TRUE(fs::is_empty(kStoreFileName));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// Stores that this user may not read or replace are left exactly as they were.
struct ProtectedCase {
    const char* name;
    fs::perms directoryMode;
    fs::perms storeMode;
    bool appendToo;  // Appending needs write access to the store only.
};

void PrintTo(const ProtectedCase& testCase, std::ostream* out) { *out << testCase.name; }

class ProtectedStoreTest : public StoreFileTest,
                           public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(ProtectedStoreTest, StoreIsLeftAsItWas) {
    SetStore(kWorkedExample);
    fs::permissions(kStoreFileName, GetParam().storeMode);
    fs::permissions(".", GetParam().directoryMode);

    const bool appendToo = GetParam().appendToo;
    const int exitCode = RunUnprivileged([appendToo] {
        EnsureStoreFile();
        RewriteStore([](const std::string& line) { return CutEntry(line, 1); });
        if (appendToo) AppendStoreRecord("EF", "gh");
        return 0;
    });
    fs::permissions(".", fs::perms::owner_all);
    fs::permissions(kStoreFileName, fs::perms::owner_read | fs::perms::owner_write);
    if (exitCode == kCannotDropRoot) GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(exitCode, 0) << "store operations crashed";
    EXPECT_EQ(Store(), kWorkedExample);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

constexpr fs::perms kOpenDirectory = fs::perms::all;
constexpr fs::perms kReadOnlyDirectory = fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec;
constexpr fs::perms kReadOnlyFile =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

INSTANTIATE_TEST_SUITE_P(
    Permissions, ProtectedStoreTest,
    ::testing::Values(ProtectedCase{"UnreadableStore", kOpenDirectory, fs::perms::none, true},
                      ProtectedCase{"ReadOnlyStore", kOpenDirectory, kReadOnlyFile, true},
                      ProtectedCase{"ReadOnlyDirectory", kReadOnlyDirectory, fs::perms::all, false},
                      ProtectedCase{"ReadOnlyDirectoryAndStore", kReadOnlyDirectory, kReadOnlyFile,
                                    true}),
    [](const auto& info) { return info.param.name; });

TEST_F(StoreFileTest, UnreadableStoreReadsAsEmpty) {
    SetStore(kWorkedExample);
    fs::permissions(kStoreFileName,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
    fs::permissions(".", kOpenDirectory);
    const int exitCode = RunUnprivileged([] { return ReadStoreLine().empty() ? 0 : 1; });
    if (exitCode == kCannotDropRoot) GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(exitCode, 0);
}

TEST_F(StoreFileTest, ReadOnlyDirectoryWithoutStoreStartsWithEmptyList) {
    fs::permissions(".", kReadOnlyDirectory);
    const int exitCode = RunUnprivileged([] {
        EnsureStoreFile();
        AppendStoreRecord("AB", "xy");
        return ReadStoreLine().empty() ? 0 : 1;
    });
    if (exitCode == kCannotDropRoot) GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(fs::exists(kStoreFileName));
}

struct SafeTextCase {
    const char* name;
    std::string text;
    std::string safe;
};

void PrintTo(const SafeTextCase& testCase, std::ostream* out) { *out << testCase.name; }

class StoreSafeTextTest : public ::testing::TestWithParam<SafeTextCase> {};

TEST_P(StoreSafeTextTest, GivesFormStoreCanCarry) {
    EXPECT_EQ(StoreSafeText(GetParam().text), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StoreSafeTextTest,
    ::testing::Values(SafeTextCase{"Empty", "", ""},
                      SafeTextCase{"PlainKeptExactly", "http://x/a b\t\xE4\x80\xFF",
                                   "http://x/a b\t\xE4\x80\xFF"},
                      SafeTextCase{"CrLfInside", "a\r\nb", "a b"},
                      SafeTextCase{"CrInside", "a\rb", "a b"},
                      SafeTextCase{"LfInside", "a\nb", "a b"},
                      SafeTextCase{"TwoBreaksTwoBlanks", "a\r\n\r\nb", "a  b"},
                      SafeTextCase{"LfCrIsTwoBreaks", "a\n\rb", "a  b"},
                      SafeTextCase{"LeadingBreak", "\nb", " b"},
                      SafeTextCase{"TrailingBreaksDropped", "http://x/a\r\n\n\r", "http://x/a"},
                      SafeTextCase{"OnlyBreaks", "\r\n", ""},
                      SafeTextCase{"NulDropped", std::string("a\0b", 3), "ab"},
                      SafeTextCase{"SeparatorDropped",
                                   "a\x7F"
                                   "b\x7F",
                                   "ab"},
                      SafeTextCase{"NulInsideCrLf", std::string("a\r\0\nb", 5), "a b"},
                      SafeTextCase{"BreakBeforeTrailingNul", std::string("a\n\0", 3), "a"}),
    [](const auto& info) { return info.param.name; });

// A child alternately appends an entry and deletes the first one until it is killed at a random
// instant; the store must then be exactly one of the states that the sequence passes through.
class StoreCrashTest : public StoreFileTest {
protected:
    static std::string LinkOf(int cycle, int step) {
        return "http://localhost/c" + std::to_string(cycle) + "s" + std::to_string(step);
    }
    // Appending first lets the parent know quickly that the child is under way.
    static void Step(int cycle, int step) {
        if (step % 2 == 0) {
            AppendStoreRecord(LinkOf(cycle, step), "note " + std::to_string(step));
        } else {
            RewriteStore([](const std::string& line) { return CutEntry(line, 1); });
        }
    }
    static std::string Simulated(const std::string& store, int cycle, int step) {
        if (step % 2 == 1) return CutEntry(store, 1);
        return store + FieldSeparator + LinkOf(cycle, step) + FieldSeparator + "note " +
               std::to_string(step);
    }
};

TEST_F(StoreCrashTest, KilledWriterLeavesOldOrNewStoreComplete) {
    // About 1 MiB, a large store: every rewrite reads and writes all of it.
    constexpr int kEntries = 30000;
    constexpr int kKills = 220;
    constexpr int kMaxSteps = 20000;
    std::string store;
    for (int i = 0; i < kEntries; ++i) {
        store += FieldSeparator + LinkOf(-1, i) + FieldSeparator + "note " + std::to_string(i);
    }
    SetStore(store);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pauseMicroseconds(0, 4000);

    int changedCycles = 0;
    for (int cycle = 0; cycle < kKills; ++cycle) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            for (int step = 0;; ++step) {
                Step(cycle, step);
                if (step == 0 && write(ready[1], "r", 1) != 1) _exit(1);
            }
        }
        close(ready[1]);
        // The first step is complete before the kill, so every cycle changes the store.
        pollfd wait{ready[0], POLLIN, 0};
        char signal = 0;
        const bool started = poll(&wait, 1, 10000) == 1 && read(ready[0], &signal, 1) == 1;
        close(ready[0]);
        usleep(static_cast<useconds_t>(pauseMicroseconds(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(started) << "cycle " << cycle;

        const std::string found = Store();
        std::string expected = store;
        int step = 0;
        while (expected != found && step < kMaxSteps) expected = Simulated(expected, cycle, step++);
        ASSERT_EQ(expected, found) << "cycle " << cycle << ": store is no complete state";
        changedCycles += step > 0 ? 1 : 0;
        store = found;
    }
    EXPECT_EQ(changedCycles, kKills);
}

}  // namespace
