#include "scripted_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
// Bounds that keep a broken test from hanging; a passing test never comes near them.
constexpr int kAcceptBoundMs = 10000;
constexpr int kQuietBoundMs = 10000;
}  // namespace

ScriptedServer::ScriptedServer(std::vector<Step> script, std::uint16_t port)
    : m_script(std::move(script)) {
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0) return;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return;
    }
    m_listenFd = fd;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    if (m_listenFd >= 0) close(m_listenFd);
    for (int fd : m_stopPipe)
        if (fd >= 0) close(fd);
}

bool ScriptedServer::WaitUntilDone(std::chrono::milliseconds bound) {
    std::unique_lock lock(m_mutex);
    return m_doneChanged.wait_for(lock, bound, [this] { return m_done || m_listenFd < 0; });
}

std::string ScriptedServer::Received() {
    WaitUntilDone();
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool ScriptedServer::Accepted() {
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

std::chrono::nanoseconds ScriptedServer::ServingTime() {
    WaitUntilDone();
    std::lock_guard lock(m_mutex);
    return m_servingTime;
}

// True when fd reports an event before the bound; false on the bound or on a stop request.
bool ScriptedServer::WaitFor(int fd, short events, int boundMs) {
    pollfd entries[2] = {{fd, events, 0}, {m_stopPipe[0], POLLIN, 0}};
    for (;;) {
        const int result = poll(entries, 2, boundMs);
        if (result < 0 && errno == EINTR) continue;
        return result > 0 && entries[1].revents == 0 && entries[0].revents != 0;
    }
}

bool ScriptedServer::ReadRequest(int connection) {
    char piece[4096];
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_received.find("\r\n\r\n") != std::string::npos) return true;
        }
        if (!WaitFor(connection, POLLIN, kQuietBoundMs)) return false;
        const ssize_t count = recv(connection, piece, sizeof piece, 0);
        if (count <= 0) return false;
        std::lock_guard lock(m_mutex);
        m_received.append(piece, static_cast<std::size_t>(count));
    }
}

// Plays the script; false when the connection was reset and must not be closed again.
bool ScriptedServer::Play(int connection) {
    char piece[4096];
    for (const Step& step : m_script) {
        switch (step.kind) {
            case Step::Kind::Send:
                for (std::uint64_t copy = 0; copy < step.times; ++copy) {
                    for (std::size_t sent = 0; sent < step.bytes.size();) {
                        const ssize_t count = send(connection, step.bytes.data() + sent,
                                                   step.bytes.size() - sent, MSG_NOSIGNAL);
                        if (count > 0) {
                            sent += static_cast<std::size_t>(count);
                        } else if (count < 0 && errno == EAGAIN) {
                            if (!WaitFor(connection, POLLOUT, kQuietBoundMs)) return true;
                        } else {
                            return true;  // the client has gone
                        }
                    }
                }
                break;
            case Step::Kind::Pause: {
                pollfd stop{m_stopPipe[0], POLLIN, 0};
                if (poll(&stop, 1, static_cast<int>(step.pause.count())) != 0) return true;
                break;
            }
            case Step::Kind::HoldUntilClientCloses:
                for (;;) {
                    if (!WaitFor(connection, POLLIN, kQuietBoundMs)) return true;
                    const ssize_t count = recv(connection, piece, sizeof piece, 0);
                    if (count <= 0) return true;
                    std::lock_guard lock(m_mutex);
                    m_received.append(piece, static_cast<std::size_t>(count));
                }
            case Step::Kind::Reset: {
                const linger abort{1, 0};
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                close(connection);
                return false;
            }
        }
    }
    return true;
}

void ScriptedServer::Serve() {
    int connection = -1;
    if (WaitFor(m_listenFd, POLLIN, kAcceptBoundMs))
        connection = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    std::chrono::nanoseconds servingTime{0};
    if (connection >= 0) {
        {
            std::lock_guard lock(m_mutex);
            m_accepted = true;
        }
        const bool complete = ReadRequest(connection);
        const auto start = std::chrono::steady_clock::now();
        const bool open = !complete || Play(connection);
        if (open) {
            // Anything the client sent after its request belongs to what it sent.
            char piece[4096];
            ssize_t count;
            while ((count = recv(connection, piece, sizeof piece, 0)) > 0) {
                std::lock_guard lock(m_mutex);
                m_received.append(piece, static_cast<std::size_t>(count));
            }
            close(connection);
        }
        servingTime = std::chrono::steady_clock::now() - start;
    }
    std::lock_guard lock(m_mutex);
    m_servingTime = servingTime;
    m_done = true;
    m_doneChanged.notify_all();
}
