#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>
#include <string>
#include <vector>

#include "link_store.h"
#include "temp_dir.h"

namespace {

class LinkStoreTest : public testing::Test {
protected:
    std::string DatabasePath() const { return (m_dir.Path() / "links.db").string(); }
    ScopedTempDir m_dir;
};

TEST_F(LinkStoreTest, SameUrlKeepsItsCodeAndOtherUrlsGetOthers) {
    LinkStore store(DatabasePath());
    const std::string code = store.CodeFor("http://a.de/");
    EXPECT_TRUE(IsShortCode(code)) << code;
    EXPECT_EQ(store.CodeFor("http://a.de/"), code);
    EXPECT_NE(store.CodeFor("http://a.de"), code);
    EXPECT_NE(store.CodeFor("HTTP://a.de/"), code);
}

TEST_F(LinkStoreTest, LongUrlBytesComeBackUnchanged) {
    LinkStore store(DatabasePath());
    std::string everyByte = "http://a.de/ ";
    for (int byte = 0x20; byte <= 0xFF; ++byte) everyByte.push_back(static_cast<char>(byte));
    const std::vector<std::string> urls = {everyByte, "http://a.de/a b&c", "http://a.de/\x80\x81"};
    for (const auto& url : urls) {
        EXPECT_EQ(store.LongUrlFor(store.CodeFor(url)), url);
    }
    EXPECT_EQ(store.LongUrlFor("zzzzzz"), std::nullopt);
}

TEST_F(LinkStoreTest, TakenCodeIsDrawnAgain) {
    std::vector<std::string> draws = {"CCCCCC", "AAAAAA", "AAAAAA", "AAAAAA", "BBBBBB"};
    LinkStore store(DatabasePath(), [&draws] {
        std::string next = draws.back();
        draws.pop_back();
        return next;
    });
    EXPECT_EQ(store.CodeFor("http://first.de/"), "BBBBBB");
    EXPECT_EQ(store.CodeFor("http://second.de/"), "AAAAAA");
    EXPECT_EQ(store.CodeFor("http://third.de/"), "CCCCCC");
    EXPECT_EQ(store.LongUrlFor("AAAAAA"), "http://second.de/");
}

TEST_F(LinkStoreTest, GivesUpWhenEveryCodeIsTaken) {
    LinkStore store(DatabasePath(), [] { return std::string("AAAAAA"); });
    store.CodeFor("http://first.de/");
    EXPECT_THROW(store.CodeFor("http://second.de/"), LinkStoreError);
    EXPECT_EQ(store.LongUrlFor("AAAAAA"), "http://first.de/");
}

TEST_F(LinkStoreTest, LinksOutliveTheStore) {
    std::string code;
    {
        LinkStore store(DatabasePath());
        code = store.CodeFor("http://a.de/\xE4");
    }
    LinkStore reopened(DatabasePath());
    EXPECT_EQ(reopened.LongUrlFor(code), "http://a.de/\xE4");
    EXPECT_EQ(reopened.CodeFor("http://a.de/\xE4"), code);
}

TEST_F(LinkStoreTest, FileIsInWriteAheadLogMode) {
    { LinkStore store(DatabasePath()); }
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &database), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database, "PRAGMA journal_mode", -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    sqlite3_close(database);
}

TEST_F(LinkStoreTest, UnopenableFileThrowsWithItsName) {
    const std::string path = (m_dir.Path() / "missing" / "links.db").string();
    try {
        LinkStore store(path);
        FAIL() << "opened " << path;
    } catch (const LinkStoreError& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

TEST(RandomShortCode, SixCharactersOfTheAlphabetThatRarelyRepeat) {
    std::set<std::string> seen;
    std::set<char> characters;
    for (int i = 0; i < 2000; ++i) {
        const std::string code = RandomShortCode();
        ASSERT_TRUE(IsShortCode(code)) << code;
        seen.insert(code);
        characters.insert(code.begin(), code.end());
    }
    // 2000 draws from 62^6 codes: a repeat is a one-in-30000 event, not a pattern.
    EXPECT_GE(seen.size(), 1999u);
    EXPECT_EQ(characters.size(), 62u);
}

TEST(IsShortCode, WantsSixAsciiLettersOrDigits) {
    EXPECT_TRUE(IsShortCode("aZ09xY"));
    for (const char* text : {"", "abcde", "abcdefg", "abc-12", "abc 12",
                             "abc\xE4"
                             "12",
                             "abc.12"}) {
        EXPECT_FALSE(IsShortCode(text)) << text;
    }
}

}  // namespace
