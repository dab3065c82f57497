#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link_store.h"
#include "request_router.h"
#include "shortlink_server.h"
#include "temp_dir.h"

extern char** environ;

namespace {

// Every wait of these tests is bounded so that a fault shows as a failure, never as a hang.
constexpr int kWaitSeconds = 5;

class Socket {
public:
    explicit Socket(std::uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const timeval timeout{kWaitSeconds, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Socket() { close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Connected() const { return m_connected; }
    void StopSending() { shutdown(m_fd, SHUT_WR); }

    void Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            ASSERT_GT(sent, 0) << std::strerror(errno);
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }

    // Everything up to the server's close; nullopt when the wait ran out or the connection broke.
    std::optional<std::string> ReadToEnd() {
        std::string received;
        char piece[4096];
        for (;;) {
            const ssize_t got = recv(m_fd, piece, sizeof piece, 0);
            if (got == 0) return received;
            if (got < 0) return std::nullopt;
            received.append(piece, static_cast<std::size_t>(got));
        }
    }

private:
    int m_fd;
    bool m_connected = false;
};

std::string Exchange(std::uint16_t port, std::string_view request) {
    Socket client(port);
    EXPECT_TRUE(client.Connected());
    client.Send(request);
    return client.ReadToEnd().value_or("<no complete answer>");
}

int StatusOf(const std::string& answer) {
    if (!answer.starts_with("HTTP/1.0 ") || answer.size() < 12) return 0;
    return std::stoi(answer.substr(9, 3));
}

std::string BodyOf(const std::string& answer) {
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string HeaderOf(const std::string& answer, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const std::size_t start = answer.find(key);
    if (start == std::string::npos) return {};
    const std::size_t valueStart = start + key.size();
    return answer.substr(valueStart, answer.find("\r\n", valueStart) - valueStart);
}

std::string CreateRequest(const std::string& encodedLongUrl) {
    return "GET http://localhost/index.php?longurl=" + encodedLongUrl + " HTTP/1.0\r\n\r\n";
}

std::string FollowRequest(const std::string& shortLink) {
    return "GET " + shortLink.substr(shortLink.rfind('/')) + " HTTP/1.0\r\n\r\n";
}

// The server loop on an ephemeral loopback port in a thread of the test.
class ServerTest : public testing::Test {
protected:
    void StartServer(ServerSettings settings) {
        settings.listenAddress = "127.0.0.1";
        settings.listenPort = 0;
        m_store.emplace((m_dir.Path() / "links.db").string());
        m_server.emplace(*m_store, settings);
        m_server->Listen();
        m_thread = std::thread([this] { m_server->Run(); });
    }
    void SetUp() override {
        StartServer(ServerSettings{.readTimeout = std::chrono::milliseconds(300)});
    }
    void TearDown() override {
        m_server->Stop();
        m_thread.join();
    }
    std::uint16_t Port() const { return m_server->BoundPort(); }

    ScopedTempDir m_dir;
    std::optional<LinkStore> m_store;
    std::optional<ShortLinkServer> m_server;
    std::thread m_thread;
};

TEST_F(ServerTest, CreatedLinkIsStableAndRedirectsToTheDecodedUrl) {
    const std::string request = CreateRequest("http://a.de/s?q=x y%26z=\xE4\x80\xFF");
    const std::string created = Exchange(Port(), request);
    ASSERT_EQ(StatusOf(created), 200) << created;
    EXPECT_EQ(HeaderOf(created, "Content-Type"), "text/plain; charset=windows-1252");
    EXPECT_EQ(HeaderOf(created, "Connection"), "close");
    const std::string link = BodyOf(created);
    EXPECT_TRUE(link.starts_with("http://localhost/")) << link;
    EXPECT_EQ(HeaderOf(created, "Content-Length"), std::to_string(link.size()));

    EXPECT_EQ(BodyOf(Exchange(Port(), request)), link);

    const std::string followed = Exchange(Port(), FollowRequest(link));
    EXPECT_EQ(StatusOf(followed), 301) << followed;
    EXPECT_EQ(HeaderOf(followed, "Location"), "http://a.de/s?q=x y&z=\xE4\x80\xFF");
}

TEST_F(ServerTest, RefusalsAreMessagesWithoutLink) {
    struct Case {
        std::string request;
        int status;
    } const cases[] = {
        {CreateRequest(""), 400},
        {CreateRequest("www.example.com"), 400},
        {CreateRequest("http://localhost/abc123"), 400},
        {"HELLO\r\n\r\n", 400},
        {std::string("\x00\xFF\x01 \x02 \x03\r\n\r\n", 11), 400},
        {"GET /Zz9999 HTTP/1.0\r\n\r\n", 404},
        {"PUT /Zz9999 HTTP/1.0\r\n\r\n", 405},
    };
    for (const auto& c : cases) {
        const std::string answer = Exchange(Port(), c.request);
        EXPECT_EQ(StatusOf(answer), c.status) << c.request;
        EXPECT_EQ(HeaderOf(answer, "Content-Type"), "text/plain; charset=windows-1252");
        EXPECT_FALSE(BodyOf(answer).empty());
        EXPECT_EQ(BodyOf(answer).find("http://"), std::string::npos) << answer;
    }
}

TEST_F(ServerTest, HalfSentRequestTimesOutWithoutHoldingUpOthers) {
    Socket stalled(Port());
    ASSERT_TRUE(stalled.Connected());
    stalled.Send("GET /index.php?longurl=http://a.de/");

    EXPECT_EQ(StatusOf(Exchange(Port(), CreateRequest("http://b.de/"))), 200);

    const auto answer = stalled.ReadToEnd();
    ASSERT_TRUE(answer) << "the stalled connection was neither answered nor closed";
    EXPECT_EQ(StatusOf(*answer), 408);
    EXPECT_EQ(BodyOf(*answer), kMessageRequestTimeout);
}

TEST_F(ServerTest, RequestLineIsAnsweredWhenTheClientStopsSendingBeforeTheEmptyLine) {
    Socket client(Port());
    ASSERT_TRUE(client.Connected());
    client.Send("GET /index.php?longurl=http://a.de/ HTTP/1.0\r\n");
    client.StopSending();
    EXPECT_EQ(StatusOf(client.ReadToEnd().value_or("")), 200);
}

TEST_F(ServerTest, OversizedRequestIsRefusedAndTheServerGoesOn) {
    const std::string answer =
        Exchange(Port(), "GET /index.php?longurl=http://a.de/" + std::string(40000, 'x'));
    EXPECT_EQ(StatusOf(answer), 431) << answer.substr(0, 100);
    EXPECT_EQ(BodyOf(answer), kMessageRequestTooLarge);

    {
        Socket silent(Port());
        ASSERT_TRUE(silent.Connected());
    }
    EXPECT_EQ(StatusOf(Exchange(Port(), CreateRequest("http://a.de/"))), 200);
}

TEST_F(ServerTest, ClientsAtOnceShareOneLinkPerUrl) {
    constexpr int kClients = 12;
    std::vector<std::string> shared(kClients), own(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            shared[i] = BodyOf(Exchange(Port(), CreateRequest("http://shared.de/")));
            own[i] = BodyOf(Exchange(Port(), CreateRequest("http://own.de/" + std::to_string(i))));
        });
    }
    for (auto& client : clients) client.join();

    EXPECT_EQ(std::set<std::string>(shared.begin(), shared.end()).size(), 1u);
    EXPECT_EQ(std::set<std::string>(own.begin(), own.end()).size(), std::size_t{kClients});
    for (int i = 0; i < kClients; ++i) {
        ASSERT_TRUE(own[i].starts_with("http://localhost/")) << own[i];
        EXPECT_EQ(HeaderOf(Exchange(Port(), FollowRequest(own[i])), "Location"),
                  "http://own.de/" + std::to_string(i));
    }
}

class BusyServerTest : public ServerTest {
protected:
    void SetUp() override {
        StartServer(ServerSettings{.readTimeout = std::chrono::seconds(kWaitSeconds),
                                   .workerCount = 1,
                                   .queueCapacity = 1});
    }
};

TEST_F(BusyServerTest, ConnectionsBeyondWorkersAndQueueAreTurnedAwayAtOnce) {
    Socket served(Port()), queued(Port());
    served.Send("GET /index");
    queued.Send("GET /index");

    const std::string answer = Exchange(Port(), CreateRequest("http://a.de/"));
    EXPECT_EQ(StatusOf(answer), 503) << answer;
    EXPECT_EQ(BodyOf(answer), kMessageBusy);
    // TearDown stops the server, which must drop both held connections without waiting for them.
}

// The real executable, as an operator starts it.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), SHORTLINK_SERVICE_EXE);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);

        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_stdout = out[0];
        m_stderr = err[0];
    }
    ~ServiceProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_stdout);
        close(m_stderr);
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // The port from the start-up line "... listening on 127.0.0.1:PORT, ...", 0 when none came.
    std::uint16_t WaitUntilListening() {
        while (m_errors.find('\n') == std::string::npos && ReadSome(m_stderr, m_errors)) {
        }
        const std::string marker = "listening on 127.0.0.1:";
        const std::size_t at = m_errors.find(marker);
        if (at == std::string::npos) return 0;
        return static_cast<std::uint16_t>(std::stoi(m_errors.substr(at + marker.size())));
    }

    // The exit status after the process has ended (-1 after a signal or when it does not end),
    // with all it wrote.
    int WaitForExit() {
        while (ReadSome(m_stdout, m_output)) {
        }
        while (ReadSome(m_stderr, m_errors)) {
        }
        int status = 0;
        for (int tries = 0; tries < kWaitSeconds * 100; ++tries) {
            const pid_t ended = waitpid(m_pid, &status, WNOHANG);
            if (ended == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    void Signal(int signal) { kill(m_pid, signal); }
    bool Started() const { return m_pid > 0; }
    const std::string& Output() const { return m_output; }
    const std::string& Errors() const { return m_errors; }

private:
    // Appends what the pipe gives within the wait; false at its end or when nothing came.
    static bool ReadSome(int fd, std::string& into) {
        pollfd readable = {fd, POLLIN, 0};
        if (poll(&readable, 1, kWaitSeconds * 1000) <= 0) return false;
        char piece[1024];
        const ssize_t got = read(fd, piece, sizeof piece);
        if (got <= 0) return false;
        into.append(piece, static_cast<std::size_t>(got));
        return true;
    }

    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    std::string m_output;
    std::string m_errors;
};

TEST(ShortlinkService, KilledServiceKeepsItsLinksWhenStartedAgain) {
    ScopedTempDir dir;
    const std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--db",
                                                (dir.Path() / "links.db").string()};
    const std::string request = CreateRequest("http://a.de/x y%26z");
    std::string link;
    {
        ServiceProcess first(arguments);
        const std::uint16_t port = first.WaitUntilListening();
        ASSERT_NE(port, 0) << first.Errors();
        link = BodyOf(Exchange(port, request));
        ASSERT_TRUE(link.starts_with("http://localhost/")) << link;
        first.Signal(SIGKILL);
        EXPECT_EQ(first.WaitForExit(), -1);
    }
    ServiceProcess second(arguments);
    const std::uint16_t port = second.WaitUntilListening();
    ASSERT_NE(port, 0) << second.Errors();
    EXPECT_EQ(HeaderOf(Exchange(port, FollowRequest(link)), "Location"), "http://a.de/x y&z");
    EXPECT_EQ(BodyOf(Exchange(port, request)), link);

    second.Signal(SIGTERM);
    EXPECT_EQ(second.WaitForExit(), 0);
    EXPECT_NE(second.Errors().find("stopped"), std::string::npos) << second.Errors();
}

TEST(ShortlinkService, PortInUseIsAOneLineErrorWithStatus1) {
    ScopedTempDir dir;
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string listen = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    ServiceProcess service({"--listen", listen, "--db", (dir.Path() / "links.db").string()});
    EXPECT_EQ(service.WaitForExit(), 1);
    EXPECT_EQ(service.Errors(),
              "shortlink-service: cannot bind " + listen + ": Address already in use\n");
    close(holder);
}

TEST(ShortlinkService, HelpAndUnknownArguments) {
    ServiceProcess help({"--help"});
    EXPECT_EQ(help.WaitForExit(), 0);
    EXPECT_NE(help.Output().find("--listen ADDR:PORT"), std::string::npos) << help.Output();
    EXPECT_EQ(help.Errors(), "");

    ServiceProcess unknown({"--port", "80"});
    EXPECT_EQ(unknown.WaitForExit(), 1);
    EXPECT_EQ(unknown.Errors(), "shortlink-service: unknown argument '--port' (see --help)\n");
}

}  // namespace
