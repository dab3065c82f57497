#include "http_message.h"

namespace {

bool IsTokenChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Unknown";
    }
}

}  // namespace

std::optional<std::size_t> FindRequestHeadEnd(std::string_view bytes) {
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos;
         i = bytes.find('\n', i + 1)) {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
        if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
    }
    return std::nullopt;
}

std::optional<RequestLine> ParseRequestLine(std::string_view head) {
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::size_t firstBlank = line.find(' ');
    const std::size_t lastBlank = line.rfind(' ');
    if (firstBlank == std::string_view::npos || firstBlank == lastBlank) return std::nullopt;

    RequestLine parsed{std::string(line.substr(0, firstBlank)),
                       std::string(line.substr(firstBlank + 1, lastBlank - firstBlank - 1)),
                       std::string(line.substr(lastBlank + 1))};
    if (parsed.method.empty() || parsed.target.empty()) return std::nullopt;
    for (char c : parsed.method) {
        if (!IsTokenChar(c)) return std::nullopt;
    }
    const std::string_view version = parsed.version;
    if (version.size() != 8 || !version.starts_with("HTTP/1.") || version[7] < '0' ||
        version[7] > '9') {
        return std::nullopt;
    }
    return parsed;
}

std::string PercentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

HttpAnswer TextAnswer(int status, std::string body) {
    return HttpAnswer{status, std::move(body), {}};
}

std::string SerializeAnswer(const HttpAnswer& answer) {
    std::string bytes = "HTTP/1.0 " + std::to_string(answer.status) + " ";
    bytes += ReasonPhrase(answer.status);
    bytes += "\r\nContent-Type: text/plain; charset=windows-1252\r\nContent-Length: ";
    bytes += std::to_string(answer.body.size());
    bytes += "\r\nConnection: close\r\n";
    for (const auto& [name, value] : answer.extraHeaders) {
        bytes += name + ": " + value + "\r\n";
    }
    bytes += "\r\n";
    bytes += answer.body;
    return bytes;
}
