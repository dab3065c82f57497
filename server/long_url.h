#pragma once

#include <cstddef>
#include <string_view>

inline constexpr std::size_t kMaxLongUrlBytes = 8 * 1024;

enum class LongUrlVerdict {
    Valid,
    Empty,
    TooLong,
    Malformed,        // no "scheme://host", or a control byte
    PointsAtService,  // would make a short link lead to another short link
};

// The host of an absolute URL "scheme://[user@]host[:port]...", lower- or upper-case as written;
// "" when the URL has no scheme or no host.
std::string_view UrlHost(std::string_view url);

// The host part of "name[:port]" or "[v6 address][:port]".
std::string_view HostWithoutPort(std::string_view hostAndPort);

// Whether a decoded long URL may be shortened by the service reachable as serviceHost
// ("name" or "name:port").
LongUrlVerdict CheckLongUrl(std::string_view url, std::string_view serviceHost);
