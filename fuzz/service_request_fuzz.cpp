// The stand-in service's request reading on any bytes, and the client's request for any long URL
// as the service reads it back.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "create_short_link.h"
#include "create_short_link_internal.h"
#include "fuzz_check.h"
#include "http_message.h"
#include "link_store.h"
#include "long_url.h"
#include "request_router.h"

namespace {

bool IsTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

void CheckHeadEnd(std::string_view bytes) {
    const auto end = FindRequestHeadEnd(bytes);
    const std::size_t lfLf = bytes.find("\n\n");
    const std::size_t lfCrLf = bytes.find("\n\r\n");
    if (!end) {
        FUZZ_CHECK(lfLf == std::string_view::npos && lfCrLf == std::string_view::npos);
        return;
    }
    // Right behind the first empty line, whichever way it is written.
    const std::size_t first =
        std::min(lfLf == std::string_view::npos ? bytes.size() : lfLf + 2,
                 lfCrLf == std::string_view::npos ? bytes.size() : lfCrLf + 3);
    FUZZ_CHECK(*end == first);
}

void CheckRequestLine(std::string_view bytes) {
    const auto line = ParseRequestLine(bytes);
    if (!line) return;
    std::string_view first = bytes.substr(0, bytes.find('\n'));
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    FUZZ_CHECK(line->method + " " + line->target + " " + line->version == first);
    FUZZ_CHECK(!line->method.empty() && !line->target.empty());
    for (const char c : line->method) FUZZ_CHECK(IsTokenChar(c));
    FUZZ_CHECK(line->version.size() == 8 && line->version.starts_with("HTTP/1."));
}

void CheckAnswer(const HttpAnswer& answer) {
    FUZZ_CHECK(answer.status == 400 || answer.status == 404 || answer.status == 405);
    // The client takes any answer holding "http://" for a short link.
    FUZZ_CHECK(answer.body.find("http://") == std::string::npos);
    const std::string bytes = SerializeAnswer(answer);
    FUZZ_CHECK(bytes.starts_with("HTTP/1.0 " + std::to_string(answer.status) + " "));
    FUZZ_CHECK(bytes.find("\r\nContent-Length: " + std::to_string(answer.body.size()) + "\r\n") !=
               std::string::npos);
    FUZZ_CHECK(bytes.ends_with("\r\n\r\n" + answer.body));
}

void CheckRouting(std::string_view bytes) {
    const ServiceRequest request = ParseServiceRequest(bytes, ServiceHost);
    std::visit(
        [](const auto& parsed) {
            using Kind = std::decay_t<decltype(parsed)>;
            if constexpr (std::is_same_v<Kind, CreateLinkRequest>) {
                FUZZ_CHECK(CheckLongUrl(parsed.longUrl, ServiceHost) == LongUrlVerdict::Valid);
            } else if constexpr (std::is_same_v<Kind, FollowLinkRequest>) {
                FUZZ_CHECK(IsShortCode(parsed.code));
            } else {
                CheckAnswer(parsed);
            }
        },
        request);
}

// The client's request for these bytes as a long URL is one request line with the URL whole,
// and the service creates a link for exactly them when they carry no "%" of their own (which
// the client sends unchanged and the service decodes) and are a URL it accepts.
void CheckClientRequest(std::string_view bytes) {
    const std::string longUrl(bytes);
    const std::string url = BuildRequestUrl(longUrl);
    const std::string request = "GET " + url + " HTTP/1.0\r\n\r\n";
    FUZZ_CHECK(FindRequestHeadEnd(request) == request.size());
    const auto line = ParseRequestLine(request);
    FUZZ_CHECK(line && line->method == "GET" && line->target == url);

    if (longUrl.find('%') != std::string::npos) return;
    const ServiceRequest parsed = ParseServiceRequest(request, ServiceHost);
    if (CheckLongUrl(longUrl, ServiceHost) == LongUrlVerdict::Valid) {
        const auto* create = std::get_if<CreateLinkRequest>(&parsed);
        FUZZ_CHECK(create != nullptr && create->longUrl == longUrl);
    } else {
        const auto* refusal = std::get_if<HttpAnswer>(&parsed);
        FUZZ_CHECK(refusal != nullptr && refusal->status == 400);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckHeadEnd(bytes);
    CheckRequestLine(bytes);
    CheckRouting(bytes);
    CheckClientRequest(bytes);

    const std::string decoded = PercentDecode(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    if (bytes.find('%') == std::string_view::npos) FUZZ_CHECK(decoded == bytes);
    return 0;
}
