#include <gtest/gtest.h>

#include <random>
#include <string>
#include <variant>

#include "http_message.h"
#include "link_store.h"
#include "long_url.h"
#include "request_router.h"
#include "server_options.h"

namespace {

constexpr char kHost[] = "localhost";

std::string ClientRequest(const std::string& encodedLongUrl) {
    return "GET http://localhost/index.php?longurl=" + encodedLongUrl + " HTTP/1.0\r\n\r\n";
}

TEST(FindRequestHeadEnd, FindsTheEmptyLineAfterCrLfOrBareLf) {
    struct Case {
        std::string bytes;
        std::optional<std::size_t> end;
    } const cases[] = {
        {"GET / HTTP/1.0\r\n\r\n", 18},
        {"GET / HTTP/1.0\r\nHost: a\r\n\r\nbody", 27},
        {"GET / HTTP/1.0\n\n", 16},
        {"GET / HTTP/1.0\r\n", std::nullopt},
        {"GET / HTTP/1.0\r\n\r", std::nullopt},
        {"GET / HTTP/1.0\r\nHost: a\r\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(FindRequestHeadEnd(c.bytes), c.end) << c.bytes;
}

TEST(ParseRequestLine, TargetRunsToTheLastBlankSoItMayHoldBlanks) {
    const auto line = ParseRequestLine("GET /index.php?longurl=a b  c HTTP/1.0\r\nX: y\r\n\r\n");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->method, "GET");
    EXPECT_EQ(line->target, "/index.php?longurl=a b  c");
    EXPECT_EQ(line->version, "HTTP/1.0");
}

TEST(ParseRequestLine, RefusesLinesWithoutMethodTargetAndVersion) {
    for (const char* head : {"", "\r\n\r\n", "GET\r\n\r\n", "GET /\r\n\r\n", "GET  HTTP/1.0\r\n",
                             "GET / HTTP/2.0\r\n", "GET / HTTP/1.0 \r\n", "GET / http/1.0\r\n",
                             " / HTTP/1.0\r\n", "G\x01T / HTTP/1.0\r\n", "GET / HTTP/1.10\r\n"}) {
        EXPECT_FALSE(ParseRequestLine(head)) << head;
    }
}

TEST(PercentDecode, DecodesHexEscapesAndKeepsEverythingElse) {
    struct Case {
        std::string in, out;
    } const cases[] = {
        {"a%26b", "a&b"},       {"%2f%2F", "//"},
        {"%e4%C4", "\xE4\xC4"}, {"a+b c", "a+b c"},
        {"100%", "100%"},       {"%4", "%4"},
        {"%zz%4g", "%zz%4g"},   {"%%41", "%A"},
        {"%2541", "%41"},       {std::string("%00", 3), std::string(1, '\0')},
    };
    for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;
}

TEST(UrlHost, IsTheAuthorityWithoutUserInfoAndPort) {
    struct Case {
        const char* url;
        const char* host;
    } const cases[] = {
        {"http://example.com/a", "example.com"},
        {"https://Example.com:8443?x", "Example.com"},
        {"ftp://user:pw@files.example.org/", "files.example.org"},
        {"http://a@b@c.de/x", "c.de"},
        {"http://a.de/x@b.de", "a.de"},
        {"http://a.de\\@b.de/", "a.de"},
        {"http://[::1]:8080/", "[::1]"},
        {"svn+ssh://host", "host"},
        {"example.com/a", ""},
        {"://example.com", ""},
        {"1http://example.com", ""},
        {"http:///path", ""},
        {"http://user@/x", ""},
        {"mailto:a@b.de", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
}

TEST(CheckLongUrl, AcceptsAbsoluteUrlsAndRefusesTheRest) {
    struct Case {
        std::string url;
        std::string serviceHost;
        LongUrlVerdict verdict;
    } const cases[] = {
        {"http://example.com/", kHost, LongUrlVerdict::Valid},
        {"http://example.com/a b?c=\xE4&d=\x80\xFF", kHost, LongUrlVerdict::Valid},
        {"http://m\xFCller.de/", kHost, LongUrlVerdict::Valid},
        {"", kHost, LongUrlVerdict::Empty},
        {"http://example.com/" + std::string(kMaxLongUrlBytes - 19, 'a'), kHost,
         LongUrlVerdict::Valid},
        {"http://example.com/" + std::string(kMaxLongUrlBytes - 18, 'a'), kHost,
         LongUrlVerdict::TooLong},
        {"example.com", kHost, LongUrlVerdict::Malformed},
        {"   ", kHost, LongUrlVerdict::Malformed},
        {"http://exa mple.com/", kHost, LongUrlVerdict::Malformed},
        {"http://example.com/\r\nSet-Cookie: a", kHost, LongUrlVerdict::Malformed},
        {"http://example.com/\t", kHost, LongUrlVerdict::Malformed},
        {"http://example.com/\x7F", kHost, LongUrlVerdict::Malformed},
        {std::string("http://example.com/\0", 20), kHost, LongUrlVerdict::Malformed},
        {"http://localhost/abc123", kHost, LongUrlVerdict::PointsAtService},
        {"http://LocalHost:8080/abc123", kHost, LongUrlVerdict::PointsAtService},
        {"https://user@localhost./", kHost, LongUrlVerdict::PointsAtService},
        {"http://localhost/abc123", "localhost:8080", LongUrlVerdict::PointsAtService},
        {"http://short.example:81/x", "short.example:8080", LongUrlVerdict::PointsAtService},
        {"http://localhost.example/abc123", kHost, LongUrlVerdict::Valid},
        {"http://localhost@example.com/", kHost, LongUrlVerdict::Valid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckLongUrl(c.url, c.serviceHost), c.verdict)
            << c.url << " on " << c.serviceHost;
    }
}

// What a request head turns into: a link to create, a code to follow, or a refusal.
struct RequestCase {
    std::string name;
    std::string head;
    int status;               // 0: CreateLinkRequest or FollowLinkRequest
    std::string expectation;  // the decoded long URL, the code, or the refusal's body
};

// Keeps test names readable: GoogleTest would otherwise print the case as raw bytes.
void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class ParseServiceRequestTest : public testing::TestWithParam<RequestCase> {};

TEST_P(ParseServiceRequestTest, GivesTheExpectedRequestOrRefusal) {
    const RequestCase& c = GetParam();
    const ServiceRequest request = ParseServiceRequest(c.head, kHost);
    if (const auto* refusal = std::get_if<HttpAnswer>(&request)) {
        EXPECT_EQ(refusal->status, c.status);
        EXPECT_EQ(refusal->body, c.expectation);
        EXPECT_EQ(refusal->body.find("http://"), std::string::npos);
    } else if (const auto* create = std::get_if<CreateLinkRequest>(&request)) {
        EXPECT_EQ(c.status, 0) << "unexpected create of " << create->longUrl;
        EXPECT_EQ(create->longUrl, c.expectation);
    } else {
        EXPECT_EQ(c.status, 0) << "unexpected follow";
        EXPECT_EQ(std::get<FollowLinkRequest>(request).code, c.expectation);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RequestLines, ParseServiceRequestTest,
    testing::Values(
        RequestCase{"ClientForm", ClientRequest("http://example.com/"), 0, "http://example.com/"},
        RequestCase{"OriginForm", "GET /index.php?longurl=http://a.de/ HTTP/1.0\r\n\r\n", 0,
                    "http://a.de/"},
        RequestCase{"HeaderLinesIgnored",
                    "GET /index.php?longurl=http://a.de/ HTTP/1.1\r\nHost: localhost\r\n"
                    "User-Agent: x\r\n\r\n",
                    0, "http://a.de/"},
        RequestCase{"BareLineFeeds", "GET /index.php?longurl=http://a.de/ HTTP/1.0\n\n", 0,
                    "http://a.de/"},
        RequestCase{"AbsoluteWithPort",
                    "GET http://localhost:8080/index.php?longurl=http://a.de/ HTTP/1.0\r\n\r\n", 0,
                    "http://a.de/"},
        RequestCase{"AmpersandEscapeAndRawBlanks", ClientRequest("http://a.de/s?q=x y%26z=1 2"), 0,
                    "http://a.de/s?q=x y&z=1 2"},
        RequestCase{"RawHighBytes", ClientRequest("http://a.de/\x80\xE4\xFF"), 0,
                    "http://a.de/\x80\xE4\xFF"},
        RequestCase{"PlusStaysPlus", ClientRequest("http://a.de/?q=a+b"), 0, "http://a.de/?q=a+b"},
        RequestCase{"InvalidEscapeKept", ClientRequest("http://a.de/100%"), 0, "http://a.de/100%"},
        RequestCase{"RestOfQueryIsTheUrl", ClientRequest("http://a.de/?x=1&longurl=2#top"), 0,
                    "http://a.de/?x=1&longurl=2#top"},
        RequestCase{"LongUrlAfterOtherParameter",
                    "GET /index.php?lang=de&longurl=http://a.de/ HTTP/1.0\r\n\r\n", 0,
                    "http://a.de/"},
        RequestCase{"FollowCode", "GET /aZ09bY HTTP/1.0\r\n\r\n", 0, "aZ09bY"},
        RequestCase{"FollowAbsolute", "GET http://localhost/aZ09bY HTTP/1.0\r\n\r\n", 0, "aZ09bY"},
        RequestCase{"EmptyUrl", ClientRequest(""), 400, kMessageNoUrl},
        RequestCase{"NoLongUrlKey", "GET /index.php?url=http://a.de/ HTTP/1.0\r\n\r\n", 400,
                    kMessageNoUrl},
        RequestCase{"NoQuery", "GET /index.php HTTP/1.0\r\n\r\n", 400, kMessageNoUrl},
        RequestCase{"SchemeLess", ClientRequest("www.example.com"), 400, kMessageInvalidUrl},
        RequestCase{"BlanksOnly", ClientRequest("   "), 400, kMessageInvalidUrl},
        RequestCase{"EscapedControlByte", ClientRequest("http://a.de/%0D%0ALocation: x"), 400,
                    kMessageInvalidUrl},
        RequestCase{"RawCarriageReturnInLine",
                    "GET /index.php?longurl=http://a.de/\rx HTTP/1.0\r\n\r\n", 400,
                    kMessageInvalidUrl},
        RequestCase{"PointsAtService", ClientRequest("http://localhost/abc123"), 400,
                    kMessageOwnLink},
        RequestCase{"TooLong", ClientRequest("http://a.de/" + std::string(kMaxLongUrlBytes, 'x')),
                    400, kMessageUrlTooLong},
        RequestCase{"NotHttp", "\x16\x03\x01\x02\x01\xFC\x03\r\n\r\n", 400, kMessageBadRequest},
        RequestCase{"NoVersion", "GET /index.php?longurl=http://a.de/\r\n\r\n", 400,
                    kMessageBadRequest},
        RequestCase{"AsteriskTarget", "GET * HTTP/1.0\r\n\r\n", 400, kMessageBadRequest},
        RequestCase{"OtherScheme", "GET ftp://localhost/abc123 HTTP/1.0\r\n\r\n", 400,
                    kMessageBadRequest},
        RequestCase{"Post", "POST /index.php?longurl=http://a.de/ HTTP/1.0\r\n\r\n", 405,
                    kMessageMethodNotAllowed},
        RequestCase{"LowerCaseGet", "get /aZ09bY HTTP/1.0\r\n\r\n", 405, kMessageMethodNotAllowed},
        RequestCase{"Root", "GET / HTTP/1.0\r\n\r\n", 404, kMessagePageNotFound},
        RequestCase{"FiveCharacterCode", "GET /abcde HTTP/1.0\r\n\r\n", 404, kMessagePageNotFound},
        RequestCase{"CodeWithDash", "GET /abc-12 HTTP/1.0\r\n\r\n", 404, kMessagePageNotFound},
        RequestCase{"OtherFile", "GET /index.html?longurl=http://a.de/ HTTP/1.0\r\n\r\n", 404,
                    kMessagePageNotFound}),
    [](const testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

TEST(ParseServiceRequest, MethodNotAllowedNamesGet) {
    const auto request = ParseServiceRequest("DELETE /abc123 HTTP/1.0\r\n\r\n", kHost);
    const auto& answer = std::get<HttpAnswer>(request);
    ASSERT_EQ(answer.extraHeaders.size(), 1u);
    EXPECT_EQ(answer.extraHeaders[0].first, "Allow");
    EXPECT_EQ(answer.extraHeaders[0].second, "GET");
}

// Random and mutated bytes never crash the reader, and every refusal stays a message the client
// cannot mistake for a link.
TEST(ParseServiceRequest, ArbitraryBytesGiveARequestOrAMessageWithoutLink) {
    std::mt19937 random(20240611);
    const std::string seeds[] = {ClientRequest("http://a.de/x%26y"), "GET /abc123 HTTP/1.0\r\n\r\n",
                                 "GET /index.php?longurl= HTTP/1.1\r\n\r\n"};
    for (int round = 0; round < 20000; ++round) {
        std::string head = seeds[round % 3];
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (head.size() + 1);
            const char byte = static_cast<char>(random() % 256);
            switch (random() % 3) {
                case 0:
                    head.insert(at, 1, byte);
                    break;
                case 1:
                    if (at < head.size()) head.erase(at, 1);
                    break;
                default:
                    if (at < head.size()) head[at] = byte;
                    break;
            }
        }
        const ServiceRequest request = ParseServiceRequest(head, kHost);
        if (const auto* refusal = std::get_if<HttpAnswer>(&request)) {
            EXPECT_TRUE(refusal->status == 400 || refusal->status == 404 || refusal->status == 405);
            EXPECT_EQ(refusal->body.find("http://"), std::string::npos);
        } else if (const auto* create = std::get_if<CreateLinkRequest>(&request)) {
            EXPECT_EQ(CheckLongUrl(create->longUrl, kHost), LongUrlVerdict::Valid);
        } else {
            EXPECT_TRUE(IsShortCode(std::get<FollowLinkRequest>(request).code));
        }
    }
}

TEST(SerializeAnswer, WritesAClosingHttp10AnswerWithLengthAndCharset) {
    EXPECT_EQ(SerializeAnswer(TextAnswer(200, "http://localhost/abc123")),
              "HTTP/1.0 200 OK\r\n"
              "Content-Type: text/plain; charset=windows-1252\r\n"
              "Content-Length: 23\r\n"
              "Connection: close\r\n"
              "\r\n"
              "http://localhost/abc123");
    HttpAnswer redirect = TextAnswer(301, "");
    redirect.extraHeaders.emplace_back("Location", "http://a.de/x y\xE4");
    const std::string bytes = SerializeAnswer(redirect);
    EXPECT_TRUE(bytes.starts_with("HTTP/1.0 301 Moved Permanently\r\n"));
    EXPECT_NE(bytes.find("\r\nLocation: http://a.de/x y\xE4\r\n"), std::string::npos);
    EXPECT_TRUE(
        bytes.ends_with("Content-Length: 0\r\nConnection: close\r\nLocation: http://a.de/x "
                        "y\xE4\r\n\r\n"));
}

class AnswerServiceRequestTest : public testing::Test {
protected:
    HttpAnswer Answer(const std::string& head, std::string_view serviceHost = kHost) {
        return AnswerServiceRequest(ParseServiceRequest(head, serviceHost), m_store, serviceHost);
    }
    LinkStore m_store{":memory:"};
};

TEST_F(AnswerServiceRequestTest, CreateAnswersTheShortLinkAndFollowRedirectsToTheLongUrl) {
    const HttpAnswer created = Answer(ClientRequest("http://a.de/p q%26r=\xE4"));
    ASSERT_EQ(created.status, 200);
    ASSERT_TRUE(created.body.starts_with("http://localhost/")) << created.body;
    const std::string code = created.body.substr(17);
    EXPECT_TRUE(IsShortCode(code)) << code;

    EXPECT_EQ(Answer(ClientRequest("http://a.de/p q%26r=\xE4")).body, created.body);
    EXPECT_NE(Answer(ClientRequest("http://a.de/p q&r=\xE4x")).body, created.body);

    const HttpAnswer followed = Answer("GET /" + code + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(followed.status, 301);
    ASSERT_EQ(followed.extraHeaders.size(), 1u);
    EXPECT_EQ(followed.extraHeaders[0].first, "Location");
    EXPECT_EQ(followed.extraHeaders[0].second, "http://a.de/p q&r=\xE4");
}

TEST_F(AnswerServiceRequestTest, LinksCarryTheServiceHostWithItsPort) {
    const HttpAnswer created = Answer(ClientRequest("http://a.de/"), "links.example:8080");
    EXPECT_TRUE(created.body.starts_with("http://links.example:8080/")) << created.body;
    EXPECT_EQ(created.body.size(), std::string("http://links.example:8080/").size() + 6);
}

TEST_F(AnswerServiceRequestTest, UnknownCodeIsNotFound) {
    const HttpAnswer answer = Answer("GET /Abc123 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.status, 404);
    EXPECT_EQ(answer.body, kMessageLinkNotFound);
}

TEST(ParseCommandLine, TakesListenHostAndDatabase) {
    const CommandLine parsed = ParseCommandLine(
        {"--listen", "0.0.0.0:8080", "--host=links.example:8080", "--db", "/tmp/l.db"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.server.listenAddress, "0.0.0.0");
    EXPECT_EQ(parsed.server.listenPort, 8080);
    EXPECT_EQ(parsed.server.serviceHost, "links.example:8080");
    EXPECT_EQ(parsed.databasePath, "/tmp/l.db");
    EXPECT_FALSE(parsed.showHelp);
}

TEST(ParseCommandLine, DefaultsToLocalhostPort80AndFileInWorkingDirectory) {
    const CommandLine parsed = ParseCommandLine({});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.server.listenAddress, "127.0.0.1");
    EXPECT_EQ(parsed.server.listenPort, 80);
    EXPECT_EQ(parsed.server.serviceHost, "localhost");
    EXPECT_EQ(parsed.databasePath, "shortlinks.db");
}

TEST(ParseCommandLine, RefusesUnusableArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {"--verbose"},        {"--listen"},           {"--listen", "8080"},
        {"--listen", "a:"},   {"--listen", ":80"},    {"--listen", "a:65536"},
        {"--listen", "a:-1"}, {"--listen", "::1:80"}, {"--host", ""},
        {"--host", "a/b"},    {"--host=a b"},         {"--db="},
        {"localhost"},
    };
    for (const auto& arguments : cases) {
        EXPECT_NE(ParseCommandLine(arguments).error, "") << arguments[0];
    }
}

TEST(ParseListenAddress, AcceptsBracketedIpv6AndPortZero) {
    const auto v6 = ParseListenAddress("[::1]:0");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->address, "::1");
    EXPECT_EQ(v6->port, 0);
}

}  // namespace
