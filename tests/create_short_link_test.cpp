#include "create_short_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "create_short_link_internal.h"
#include "fake_window.h"
#include "http_fetch_internal.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace {

const std::string kStore = "url.vlst";
const std::string kRequestPrefix = std::string("http://") + ServiceHost + "/index.php?longurl=";
constexpr char kSep = '\x7F';

std::string Record(const std::string& link, const std::string& note) {
    return kSep + link + kSep + note;
}

// A window with a long URL typed and a note, and a service whose answer the test sets.
class CreateShortLinkTest : public testing::Test {
protected:
    void SetUp() override {
        window.texts[WidgetNumber::UrlField] = "http://example.com/long";
        window.texts[WidgetNumber::NoteEditor] = "my note";
    }

    void Create(const std::string& longUrl) { CreateShortLinkWith(longUrl, window, fetch); }

    ColourValue MessageColour() {
        return window
            .colours[std::make_pair(WidgetNumber::MessageLabel, ColourAttribute::TextColour)];
    }

    // Texts of the link rows of EntryTree.
    std::vector<std::string> ListedLinks() {
        std::vector<std::string> links;
        for (int row = 1; row < window.EntryRowCount(); ++row)
            if (window.EntryRowLevel(row) == 0) links.push_back(window.EntryRowText(row));
        return links;
    }

    ScopedTempDir dir;
    FakeWindow window;
    std::string answer;
    std::vector<std::string> requests;
    std::vector<std::int32_t> timeouts;
    FetchFunction fetch = [this](const std::string& url, std::int32_t timeoutMs) {
        requests.push_back(url);
        timeouts.push_back(timeoutMs);
        return answer;
    };
};

// --- The three outcomes ----------------------------------------------------------------------

struct OutcomeCase {
    const char* name;
    std::string longUrl;
    std::string answer;
    ColourValue colour;
    std::string message;
    ImageNumber icon;
    std::vector<std::string> calls;  // up to the message, the list refresh follows
};
void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class CreateOutcome : public CreateShortLinkTest,
                      public testing::WithParamInterface<OutcomeCase> {};

TEST_P(CreateOutcome, ShowsColourTextAndIconInOrder) {
    const OutcomeCase& c = GetParam();
    answer = c.answer;
    Create(c.longUrl);

    EXPECT_EQ(window.geometry[WidgetNumber::UrlField].width, 480);
    EXPECT_EQ(MessageColour(), c.colour);
    EXPECT_EQ(window.texts[WidgetNumber::MessageLabel], c.message);
    EXPECT_EQ(window.images[WidgetNumber::ResultIcon], c.icon);
    ASSERT_GE(window.calls.size(), c.calls.size());
    EXPECT_EQ(std::vector<std::string>(window.calls.begin(),
                                       window.calls.begin() + static_cast<long>(c.calls.size())),
              c.calls);
    const bool success = c.icon == ImageNumber::ImageSuccess;
    EXPECT_EQ(window.refreshCount, success ? 1 : 0);
    EXPECT_EQ(window.calls.size() > c.calls.size(), success)
        << "only a success refreshes the list afterwards";
    EXPECT_EQ(requests.size(), c.longUrl.empty() ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CreateOutcome,
    testing::Values(OutcomeCase{"EmptyFieldWarnsWithoutRequest",
                                "",
                                "http://never.asked/",
                                1473279,
                                "Keine URL Eingegeben",
                                ImageNumber::ImageWarning,
                                {"SetGeometry 1", "SetColour 14", "SetText 14", "SetImage 4"}},
                    OutcomeCase{"AnswerWithoutLinkIsShownInRed",
                                "http://example.com/long",
                                "Ung\xFCltige URL",
                                1447679,
                                "Ung\xFCltige URL",
                                ImageNumber::ImageError,
                                {"SetGeometry 1", "SetColour 14", "SetText 14", "SetImage 4"}},
                    OutcomeCase{"NoAnswerLeavesTheMessageEmpty",
                                "http://example.com/long",
                                "",
                                1447679,
                                "",
                                ImageNumber::ImageError,
                                {"SetGeometry 1", "SetColour 14", "SetText 14", "SetImage 4"}},
                    OutcomeCase{"LinkIsStoredAndListed",
                                "http://example.com/long",
                                "http://s.example/a",
                                6804075,
                                "Erfolgreich eingetragen",
                                ImageNumber::ImageSuccess,
                                {"SetGeometry 1", "SetImage 4", "SetText 1", "SetText 2",
                                 "SetColour 14", "SetText 14"}}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

TEST_F(CreateShortLinkTest, SuccessStoresTheLinkWithTheNoteAndEmptiesTheNote) {
    answer = "http://s.example/a";
    Create("http://example.com/long");
    EXPECT_EQ(ReadFileBytes(kStore), Record("http://s.example/a", "my note"));
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://s.example/a");
    EXPECT_EQ(window.texts[WidgetNumber::NoteEditor], "");
    EXPECT_EQ(ListedLinks(), std::vector<std::string>{"http://s.example/a"});
    EXPECT_EQ(window.statusTexts[0], "1 Eintr\xE4ge");
}

// --- What is sent ----------------------------------------------------------------------------

struct RequestCase {
    const char* name;
    std::string longUrl;
    std::string sent;  // behind "longurl="
};
void PrintTo(const RequestCase& c, std::ostream* out) { *out << c.name; }

class CreateRequest : public CreateShortLinkTest,
                      public testing::WithParamInterface<RequestCase> {};

TEST_P(CreateRequest, SendsTheLongUrlAsOneQueryValue) {
    answer = "http://s.example/a";
    Create(GetParam().longUrl);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], kRequestPrefix + GetParam().sent);
    EXPECT_EQ(timeouts[0], 5000);
}

INSTANTIATE_TEST_SUITE_P(
    LongUrls, CreateRequest,
    testing::Values(
        RequestCase{"BlanksGoUnchanged", "   ", "   "},
        RequestCase{"EveryAmpersandIsEncoded", "http://x.example/?a=1&b=2&&c",
                    "http://x.example/?a=1%26b=2%26%26c"},
        RequestCase{"PercentPlusAndHashGoUnchanged", "a%26b+c#d?e=f/g", "a%26b+c#d?e=f/g"},
        RequestCase{"LineBreaksCannotAddRequestLines", "x\r\nHost: evil\r\n\r\nGET /",
                    "x%0D%0AHost: evil%0D%0A%0D%0AGET /"},
        RequestCase{"ControlBytesAndDeleteAreEncoded",
                    std::string("\x01\t\x1F\x7F", 4) + std::string(1, '\0'), "%01%09%1F%7F%00"},
        RequestCase{"HighBytesGoUnchanged", "\x80\xE4\xFF", "\x80\xE4\xFF"}),
    [](const testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

TEST_F(CreateShortLinkTest, PressingAgainSendsTheShortLinkItself) {
    answer = "http://s.example/a\r\n";
    Create("http://example.com/long");
    Create(window.ReadText(WidgetNumber::UrlField));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], kRequestPrefix + "http://s.example/a");
}

// The service host resolves to this machine only with the default build setting.
bool ServiceHostIsLocal() {
    in_addr address{};
    return std::string(ServiceHost) == "localhost" ||
           inet_pton(AF_INET, ServiceHost, &address) == 1;
}

TEST_F(CreateShortLinkTest, RequestOnTheWireIsTheGetLineAndAnEmptyLine) {
    if (!ServiceHostIsLocal()) GTEST_SKIP() << "VEMO_SERVICE_HOST is not this machine";
    ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nhttp://s.example/w")});
    ASSERT_TRUE(server.Listening());
    CreateShortLinkWith("a b&c\r\n", window, [&](const std::string& url, std::int32_t timeoutMs) {
        return FetchHttpOnPort(url, timeoutMs, server.Port());
    });
    EXPECT_EQ(server.Received(), "GET " + kRequestPrefix + "a b%26c%0D%0A HTTP/1.0\r\n\r\n");
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://s.example/w");
    EXPECT_EQ(ReadFileBytes(kStore), Record("http://s.example/w", "my note"));
}

// --- Failures leave everything else alone ----------------------------------------------------

TEST_F(CreateShortLinkTest, AnswerWithoutPlainHttpLinkFailsAndChangesNothingElse) {
    WriteFileBytes(kStore, Record("http://old", "n"));
    for (const std::string failing :
         {"https://s.example/a", "HTTP://S.EXAMPLE/A", "http:/s.example", ""}) {
        answer = failing;
        Create("http://example.com/long");
        EXPECT_EQ(window.texts[WidgetNumber::MessageLabel], failing);
        EXPECT_EQ(window.images[WidgetNumber::ResultIcon], ImageNumber::ImageError) << failing;
    }
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://example.com/long");
    EXPECT_EQ(window.texts[WidgetNumber::NoteEditor], "my note");
    EXPECT_EQ(ReadFileBytes(kStore), Record("http://old", "n"));
    EXPECT_EQ(window.refreshCount, 0);
}

TEST_F(CreateShortLinkTest, EmptyFieldTouchesNeitherFieldsNorStore) {
    Create("");
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://example.com/long");
    EXPECT_EQ(window.texts[WidgetNumber::NoteEditor], "my note");
    EXPECT_FALSE(std::filesystem::exists(kStore));
}

// --- Storing ---------------------------------------------------------------------------------

TEST_F(CreateShortLinkTest, ErrorPageContainingALinkIsStoredWholeAsOneLine) {
    answer = "<html>\r\n<p>Error 500, see http://status.example</p>\r\n</html>\r\n";
    const std::string shown = "<html> <p>Error 500, see http://status.example</p> </html>";
    Create("http://example.com/long");
    EXPECT_EQ(window.texts[WidgetNumber::MessageLabel], "Erfolgreich eingetragen");
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], shown);
    EXPECT_EQ(ReadFileBytes(kStore), Record(shown, "my note"));
    EXPECT_EQ(ListedLinks(), std::vector<std::string>{shown});
}

struct PresentCase {
    const char* name;
    std::string store;
};
void PrintTo(const PresentCase& c, std::ostream* out) { *out << c.name; }

class LinkAlreadyPresent : public CreateShortLinkTest,
                           public testing::WithParamInterface<PresentCase> {};

TEST_P(LinkAlreadyPresent, IsNotStoredAgainAndTheNoteStays) {
    WriteFileBytes(kStore, GetParam().store);
    answer = "http://s.example/a";
    Create("http://example.com/long");
    EXPECT_EQ(ReadFileBytes(kStore), GetParam().store);
    EXPECT_EQ(window.texts[WidgetNumber::NoteEditor], "my note");
    EXPECT_EQ(window.texts[WidgetNumber::UrlField], "http://s.example/a");
    EXPECT_EQ(MessageColour(), 6804075u);
    EXPECT_EQ(window.texts[WidgetNumber::MessageLabel], "Erfolgreich eingetragen");
    EXPECT_EQ(window.refreshCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, LinkAlreadyPresent,
    testing::Values(PresentCase{"AsStoredLink",
                                Record("http://x", "") + Record("http://s.example/a", "old")},
                    PresentCase{"InsideLongerLink", Record("http://s.example/abc", "old")},
                    PresentCase{"InsideNote", Record("http://x", "see http://s.example/a too")}),
    [](const testing::TestParamInfo<PresentCase>& info) { return std::string(info.param.name); });

TEST_F(CreateShortLinkTest, AnswerEndingInLineBreakIsStoredOnceAndHidesNoLaterEntry) {
    answer = "http://s.example/a\r\n";
    Create("http://example.com/1");
    window.texts[WidgetNumber::NoteEditor] = "second try";
    Create("http://example.com/1");
    answer = "http://s.example/b\n";
    window.texts[WidgetNumber::NoteEditor] = "other";
    Create("http://example.com/2");

    EXPECT_EQ(ReadFileBytes(kStore),
              Record("http://s.example/a", "my note") + Record("http://s.example/b", "other"));
    EXPECT_EQ(ListedLinks(),
              (std::vector<std::string>{"http://s.example/a", "http://s.example/b"}));
    EXPECT_EQ(window.statusTexts[0], "2 Eintr\xE4ge");
}

// --- Through port 80 itself, inside a private network namespace -----------------------------

TEST(CreateShortLinkPort80, AsksTheServiceOnPort80AndStoresItsLink) {
    if (std::getenv("VEMO_PRIVATE_NETNS") == nullptr)
        GTEST_SKIP() << "binds 127.0.0.1:80; runs only inside a private network namespace "
                        "(ctest entry create_short_link_port80_netns)";
    if (!ServiceHostIsLocal()) GTEST_SKIP() << "VEMO_SERVICE_HOST is not this machine";
    ScopedTempDir dir;
    FakeWindow window;
    window.texts[WidgetNumber::NoteEditor] = "n";
    ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nhttp://s.example/80")},
                          kHttpPort);
    ASSERT_TRUE(server.Listening()) << "cannot bind port 80";
    CreateShortLink("http://example.com/?a=1&b=2", window);
    EXPECT_EQ(server.Received(),
              "GET " + kRequestPrefix + "http://example.com/?a=1%26b=2 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(ReadFileBytes(kStore), Record("http://s.example/80", "n"));
    EXPECT_EQ(window.texts[WidgetNumber::MessageLabel], "Erfolgreich eingetragen");
}

}  // namespace
