#include "long_url.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsSchemeChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool IsControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "Example.COM." and "example.com" name the same host.
bool SameHostName(std::string_view a, std::string_view b) {
    if (a.ends_with('.')) a.remove_suffix(1);
    if (b.ends_with('.')) b.remove_suffix(1);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string_view HostWithoutPort(std::string_view hostAndPort) {
    if (hostAndPort.starts_with('[')) {
        const std::size_t close = hostAndPort.find(']');
        return close == std::string_view::npos ? hostAndPort : hostAndPort.substr(0, close + 1);
    }
    return hostAndPort.substr(0, hostAndPort.find(':'));
}

std::string_view UrlHost(std::string_view url) {
    std::size_t schemeEnd = 0;
    if (url.empty() || !IsAsciiLetter(url[0])) return {};
    while (schemeEnd < url.size() && IsSchemeChar(url[schemeEnd])) ++schemeEnd;
    if (url.substr(schemeEnd, 3) != "://") return {};

    std::string_view authority = url.substr(schemeEnd + 3);
    // A backslash ends the authority too: browsers read "http://a\@b/" as host "a".
    authority = authority.substr(0, authority.find_first_of("/?#\\"));
    // Browsers take the last "@" as the end of the user info, so that is where the host starts.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    return HostWithoutPort(authority);
}

LongUrlVerdict CheckLongUrl(std::string_view url, std::string_view serviceHost) {
    if (url.empty()) return LongUrlVerdict::Empty;
    if (url.size() > kMaxLongUrlBytes) return LongUrlVerdict::TooLong;
    for (char c : url) {
        if (IsControlByte(c)) return LongUrlVerdict::Malformed;
    }
    const std::string_view host = UrlHost(url);
    if (host.empty() || host.find(' ') != std::string_view::npos) return LongUrlVerdict::Malformed;
    if (SameHostName(host, HostWithoutPort(serviceHost))) return LongUrlVerdict::PointsAtService;
    return LongUrlVerdict::Valid;
}
