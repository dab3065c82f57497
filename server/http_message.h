#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A request head may be this long. It leaves room for a long URL of the longest accepted length
// written entirely as %XX escapes, plus a few header lines.
inline constexpr std::size_t kMaxRequestBytes = 32 * 1024;

// The length of the request head up to and including the empty line that ends it (CR LF CR LF,
// or LF LF from clients that end lines with a bare LF); nullopt while that line has not come.
std::optional<std::size_t> FindRequestHeadEnd(std::string_view bytes);

struct RequestLine {
    std::string method;
    std::string target;
    std::string version;
};

// The first line of a request head. The target may hold raw blanks, so it runs from the first
// blank to the last one, and the version is what follows the last blank.
std::optional<RequestLine> ParseRequestLine(std::string_view head);

// %XX becomes its byte; a "%" without two hex digits behind it stays as it is. "+" stays "+":
// the client writes a blank as a blank.
std::string PercentDecode(std::string_view text);

struct HttpAnswer {
    int status = 200;
    std::string body;  // Windows-1252 bytes
    std::vector<std::pair<std::string, std::string>> extraHeaders;
};

// A plain-text answer in Windows-1252.
HttpAnswer TextAnswer(int status, std::string body);

// Status line, headers and body of an HTTP/1.0 answer after which the connection closes.
std::string SerializeAnswer(const HttpAnswer& answer);
