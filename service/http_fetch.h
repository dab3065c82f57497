#pragma once

#include <cstdint>
#include <string>

// One HTTP/1.0 GET for an absolute "http://" URL on port 80; the answer's body, or "" on any
// failure. The time-out bounds the wait for the answer to begin.
std::string FetchHttp(const std::string& url, std::int32_t timeoutMs);
