#pragma once

// Seams of CreateShortLink for tests and benchmarks.

#include <cstdint>
#include <functional>
#include <string>

class WindowOps;

inline constexpr std::int32_t kFetchTimeoutMs = 5000;

using FetchFunction = std::function<std::string(const std::string& url, std::int32_t timeoutMs)>;

// "http://" ServiceHost "/index.php?longurl=" and the long URL with "&", control bytes and 0x7F
// written as %XX, so the long URL stays one query value and cannot add lines to the request.
std::string BuildRequestUrl(const std::string& longUrl);

// CreateShortLink, asking the service through fetch instead of FetchHttp.
void CreateShortLinkWith(const std::string& longUrl, WindowOps& window, const FetchFunction& fetch);
