// Services that misbehave on purpose: a gigabyte of answer, a byte now and then, a connection
// that never closes or closes at once, NUL bytes, random bytes. Each time the create must end
// within the fetch's bounds with its memory under the answer cap, show a failure, and leave the
// store as it was. The fetch runs against a scripted server with a short time-out.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "create_short_link_internal.h"
#include "fake_window.h"
#include "http_fetch_internal.h"
#include "scripted_server.h"
#include "store_file.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using Step = ScriptedServer::Step;

namespace {

constexpr std::int32_t kTimeoutMs = 300;
// Far above what any bound of the fetch allows (the wait for the answer plus the reading, three
// time-outs), far below what an unbounded fetch would take against these servers.
constexpr auto kGenerousBound = 5s;
// The answer cap is 1 MiB; holding the gigabyte, or even a large part of it, would pass this.
constexpr long kMaxMemoryGrowthKiB = 64 * 1024;

const std::string kHeaders = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kStoreBefore =
    std::string("\x7Fhttp://localhost/Ab3dE9\x7Fmeine Notiz") + "\x7Fhttp://localhost/Zz9Yy8\x7F";

std::vector<Step> GigabyteOfLinks() {
    std::string piece;
    while (piece.size() < 64 * 1024)
        piece += "http://s.example/" + std::to_string(piece.size()) + "\n";
    piece.resize(64 * 1024);
    return {ScriptedServer::Send(kHeaders), ScriptedServer::SendRepeated(piece, 16 * 1024)};
}

// A link, then one more byte every third of the time-out: no silence is ever long enough to end
// the reading, so only the bound on the whole reading does.
std::vector<Step> LinkTrickledOut() {
    std::vector<Step> script = {ScriptedServer::Send(kHeaders + "http://s.example/")};
    for (int i = 0; i < 200; ++i) {
        script.push_back(ScriptedServer::Pause(std::chrono::milliseconds(kTimeoutMs / 3)));
        script.push_back(ScriptedServer::Send("a"));
    }
    return script;
}

std::vector<Step> LinkThenNeverCloses() {
    return {ScriptedServer::Send(kHeaders + "http://s.example/never"),
            ScriptedServer::HoldUntilClientCloses()};
}

std::vector<Step> ClosesAtOnce() { return {}; }

// Every piece starts with a NUL, which ends the text of its piece: the links behind them never
// count.
std::vector<Step> LinksBehindNulBytes() {
    std::vector<Step> script = {ScriptedServer::Send(kHeaders)};
    for (int i = 0; i < 20; ++i) {
        script.push_back(ScriptedServer::Pause(5ms));
        script.push_back(ScriptedServer::Send(std::string(1, '\0') + "http://s.example/" +
                                              std::to_string(i) + std::string(100, '\0')));
    }
    return script;
}

std::vector<Step> RandomBytes() {
    std::mt19937 random(6);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<Step> script;
    for (int piece = 0; piece < 8; ++piece) {
        std::string bytes(32 * 1024, '\0');
        for (char& c : bytes) c = static_cast<char>(byte(random));
        // Whatever the dice say, no "http://" may pass for a link.
        for (std::size_t at; (at = bytes.find("http://")) != std::string::npos;) bytes[at] = 'H';
        script.push_back(ScriptedServer::Send(bytes));
        script.push_back(ScriptedServer::Pause(2ms));
    }
    return script;
}

struct HostileCase {
    const char* name;
    std::function<std::vector<Step>()> script;
    bool bodyIsEmpty;  // false: some text, but no link, may come through
};
void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

long MaxResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HostileService : public testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override {
        AppendStoreRecord("http://localhost/Ab3dE9", "meine Notiz");
        AppendStoreRecord("http://localhost/Zz9Yy8", "");
        ASSERT_EQ(ReadFileBytes(kStoreFileName), kStoreBefore);
        window.texts[WidgetNumber::UrlField] = "http://example.com/long";
        window.texts[WidgetNumber::NoteEditor] = "Notiz";
    }

    ScopedTempDir dir;
    FakeWindow window;
};

TEST_P(HostileService, CreateEndsInTimeWithBoundedMemoryAndLeavesTheStore) {
    ScriptedServer server(GetParam().script());
    ASSERT_TRUE(server.Listening());
    std::string body = "not fetched";
    std::chrono::steady_clock::duration fetching{};
    const long memoryBefore = MaxResidentKiB();
    CreateShortLinkWith("http://example.com/long", window,
                        [&](const std::string& url, std::int32_t) {
                            const auto start = std::chrono::steady_clock::now();
                            body = FetchHttpOnPort(url, kTimeoutMs, server.Port());
                            fetching = std::chrono::steady_clock::now() - start;
                            return body;
                        });

    EXPECT_LT(fetching, kGenerousBound);
    EXPECT_LT(MaxResidentKiB() - memoryBefore, kMaxMemoryGrowthKiB);
    if (GetParam().bodyIsEmpty) {
        EXPECT_EQ(body, "");
    } else {
        EXPECT_EQ(body.find("http://"), std::string::npos);
    }
    EXPECT_EQ(window.images[WidgetNumber::ResultIcon], ImageNumber::ImageError);
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://example.com/long");
    EXPECT_EQ(window.texts[WidgetNumber::NoteEditor], "Notiz");
    EXPECT_EQ(window.refreshCount, 0);
    EXPECT_EQ(ReadFileBytes(kStoreFileName), kStoreBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileService,
    testing::Values(HostileCase{"GigabyteAnswerStopsAtTheCap", GigabyteOfLinks, true},
                    HostileCase{"ByteByByteAnswerStopsAtTheReadingBound", LinkTrickledOut, true},
                    HostileCase{"NeverClosingServer", LinkThenNeverCloses, true},
                    HostileCase{"ServerClosingAtOnce", ClosesAtOnce, true},
                    HostileCase{"NulBytesHideEveryLink", LinksBehindNulBytes, true},
                    HostileCase{"RandomBytes", RandomBytes, false}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
