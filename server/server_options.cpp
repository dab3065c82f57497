#include "server_options.h"

#include <charconv>

namespace {

bool IsHostChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
}

bool IsServiceHost(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host) {
        if (!IsHostChar(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view address = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    if (address.starts_with('[') && address.ends_with(']') && address.size() > 2) {
        address = address.substr(1, address.size() - 2);
    } else if (address.find_first_of(":[]") != std::string_view::npos) {
        return std::nullopt;
    }
    if (address.empty() || portText.empty() || portText.size() > 5) return std::nullopt;
    unsigned port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port > 65535) {
        return std::nullopt;
    }
    return ListenAddress{std::string(address), static_cast<std::uint16_t>(port)};
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            result.showHelp = true;
            continue;
        }
        if (name != "--listen" && name != "--host" && name != "--db") {
            result.error = "unknown argument '" + arguments[i] + "'";
            return result;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                result.error = name + " needs a value";
                return result;
            }
            value = arguments[++i];
        }
        if (name == "--listen") {
            const auto listen = ParseListenAddress(*value);
            if (!listen) {
                result.error = "--listen wants ADDR:PORT, not '" + *value + "'";
                return result;
            }
            result.server.listenAddress = listen->address;
            result.server.listenPort = listen->port;
        } else if (name == "--host") {
            if (!IsServiceHost(*value)) {
                result.error = "--host wants NAME or NAME:PORT, not '" + *value + "'";
                return result;
            }
            result.server.serviceHost = *value;
        } else {
            if (value->empty()) {
                result.error = "--db wants a file name";
                return result;
            }
            result.databasePath = *value;
        }
    }
    return result;
}

std::string UsageText() {
    return "Usage: shortlink-service [--listen ADDR:PORT] [--host NAME[:PORT]] [--db PATH]\n"
           "A short-link service for Vemo Creator. GET /index.php?longurl=URL answers with a\n"
           "short link http://NAME[:PORT]/CODE; GET /CODE redirects to the long URL.\n"
           "\n"
           "  --listen ADDR:PORT  address and TCP port to listen on (default 127.0.0.1:80;\n"
           "                      port 0 takes any free port; IPv6 as [ADDR]:PORT)\n"
           "  --host NAME[:PORT]  host written into the short links (default localhost)\n"
           "  --db PATH           SQLite file holding the links, created when missing\n"
           "                      (default shortlinks.db in the working directory)\n"
           "  --help              show this text and exit\n"
           "\n"
           "Stops on SIGTERM or SIGINT. Exit status 0 after a stop, 1 on any error.\n";
}
