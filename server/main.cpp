#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "link_store.h"
#include "server_options.h"
#include "shortlink_server.h"

namespace {

ShortLinkServer* g_server = nullptr;

extern "C" void OnStopSignal(int) {
    if (g_server != nullptr) g_server->Stop();
}

void InstallSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Sends use MSG_NOSIGNAL; this covers anything that does not.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "shortlink-service: %s (see --help)\n", commandLine.error.c_str());
        return 1;
    }
    if (commandLine.showHelp) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    try {
        LinkStore store(commandLine.databasePath);
        ShortLinkServer server(store, commandLine.server);
        server.Listen();
        g_server = &server;
        InstallSignalHandlers();
        std::fprintf(stderr,
                     "shortlink-service: listening on %s, links http://%s/CODE, database %s\n",
                     server.BoundAddress().c_str(), commandLine.server.serviceHost.c_str(),
                     commandLine.databasePath.c_str());
        server.Run();
        g_server = nullptr;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "shortlink-service: %s\n", error.what());
        return 1;
    }
    std::fputs("shortlink-service: stopped\n", stderr);
    return 0;
}
