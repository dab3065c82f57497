// The fetch's text rules on any bytes: the host it connects to, taken from any URL, and the body
// it cuts from any answer. Each is checked against the rule written out plainly, position by
// position, so a faster or cleverer implementation cannot drift from it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "http_fetch_internal.h"

namespace {

// After the first "://": the authority runs to the first "/", "?" or "#"; everything up to its
// first "@" is user information, everything from the first ":" after that a port.
std::string HostByTheRule(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    std::size_t begin = scheme + 3;
    std::size_t end = begin;
    while (end < url.size() && url[end] != '/' && url[end] != '?' && url[end] != '#') ++end;
    for (std::size_t i = begin; i < end; ++i) {
        if (url[i] == '@') {
            begin = i + 1;
            break;
        }
    }
    std::size_t portColon = begin;
    while (portColon < end && url[portColon] != ':') ++portColon;
    return url.substr(begin, portColon - begin);
}

// From the third byte after the first LF CR; the whole answer without one.
std::string BodyByTheRule(const std::string& answer) {
    for (std::size_t i = 0; i + 1 < answer.size(); ++i) {
        if (answer[i] == '\n' && answer[i + 1] == '\r') {
            return i + 3 < answer.size() ? answer.substr(i + 3) : std::string();
        }
    }
    return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string host = HostOfUrl(bytes);
    FUZZ_CHECK(host == HostByTheRule(bytes));
    FUZZ_CHECK(host.find_first_of("/?#:") == std::string::npos);

    const std::string body = BodyOfAnswer(bytes);
    FUZZ_CHECK(body == BodyByTheRule(bytes));
    FUZZ_CHECK(body.size() <= bytes.size());
    FUZZ_CHECK(bytes.compare(bytes.size() - body.size(), body.size(), body) == 0);
    return 0;
}
