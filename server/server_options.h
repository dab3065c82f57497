#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ServerSettings {
    std::string listenAddress = "127.0.0.1";  // IPv4, IPv6 without brackets, or a host name
    std::uint16_t listenPort = 80;            // 0: any free port
    std::string serviceHost = "localhost";    // written into the links; may carry ":port"
    std::chrono::milliseconds readTimeout{5000};
    std::size_t workerCount = 8;
    std::size_t queueCapacity = 64;  // accepted connections waiting for a worker
};

struct CommandLine {
    ServerSettings server;
    std::string databasePath = "shortlinks.db";
    bool showHelp = false;
    std::string error;  // non-empty when the arguments cannot be used
};

// The arguments after the program name: --listen ADDR:PORT, --host NAME[:PORT], --db PATH,
// --help; each value also as --option=value.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

struct ListenAddress {
    std::string address;
    std::uint16_t port = 0;
};
// "ADDR:PORT" or "[IPV6]:PORT".
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

std::string UsageText();
