#include <gtest/gtest.h>

#include "text_codec.h"

TEST(TextCodec, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(ToWindows1252(FromWindows1252(all)), all);
    EXPECT_EQ(ToWindows1252Url(FromWindows1252(all)), all);
}

TEST(TextCodec, DecodesTheWindows1252Letters) {
    EXPECT_EQ(FromWindows1252("Eintr\xE4ge"), QString::fromUtf8("Einträge"));
    EXPECT_EQ(FromWindows1252("\x80\x9F"), QString::fromUtf8("€Ÿ"));
}

struct EncodeCase {
    const char* utf8;
    const char* plain;
    const char* url;
};

TEST(TextCodec, CharactersWithoutAByteBecomeQuestionMarksOrUtf8Escapes) {
    const EncodeCase cases[] = {
        {"http://a.de/?x=1&y=ü", "http://a.de/?x=1&y=\xFC", "http://a.de/?x=1&y=\xFC"},
        {"€ 5", "\x80 5", "\x80 5"},
        {"http://例.jp/", "http://?.jp/", "http://%E4%BE%8B.jp/"},
        // One character outside the basic plane is one "?", not two.
        {"a😀b", "a?b", "a%F0%9F%98%80b"},
        {"Ω", "?", "%CE%A9"},
    };
    for (const EncodeCase& c : cases) {
        const QString text = QString::fromUtf8(c.utf8);
        EXPECT_EQ(ToWindows1252(text), c.plain) << c.utf8;
        EXPECT_EQ(ToWindows1252Url(text), c.url) << c.utf8;
    }
}
