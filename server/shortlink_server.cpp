#include "shortlink_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "http_message.h"
#include "request_router.h"

namespace {

using Clock = std::chrono::steady_clock;

// After the answer the rest of what the client sent is read and dropped for a while: closing a
// socket with unread input makes the kernel reset the connection, which can destroy the answer
// before the client has read it.
constexpr auto kLingerTime = std::chrono::milliseconds(1000);
constexpr std::size_t kMaxLingerBytes = 64 * 1024;
constexpr int kSendTimeoutSeconds = 5;
constexpr std::size_t kMaxRefusedLingering = 64;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

std::string ErrnoText(int error) { return std::strerror(error); }

enum class WaitResult { Readable, TimedOut, Stopped };

WaitResult WaitReadable(int fd, int stopFd, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return WaitResult::TimedOut;
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (ready < 0 && errno != EINTR) return WaitResult::Stopped;
        if (ready <= 0) continue;
        if (fds[0].revents != 0) return WaitResult::Stopped;
        return WaitResult::Readable;  // also on POLLHUP/POLLERR: recv tells what happened
    }
}

bool SendAll(int fd, std::string_view bytes, int flags = 0) {
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), flags | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

struct DropConnection {};
// The request head, an answer that refuses the request before it is read whole, or nothing to do.
using ReadOutcome = std::variant<std::string, HttpAnswer, DropConnection>;

ReadOutcome ReadRequestHead(int fd, int stopFd, std::chrono::milliseconds readTimeout) {
    const auto deadline = Clock::now() + readTimeout;
    std::string buffer;
    for (;;) {
        if (const auto end = FindRequestHeadEnd(buffer)) {
            buffer.resize(*end);
            return buffer;
        }
        if (buffer.size() >= kMaxRequestBytes) return TextAnswer(431, kMessageRequestTooLarge);
        switch (WaitReadable(fd, stopFd, deadline)) {
            case WaitResult::Stopped:
                return DropConnection{};
            case WaitResult::TimedOut:
                return TextAnswer(408, kMessageRequestTimeout);
            case WaitResult::Readable:
                break;
        }
        char piece[4096];
        const ssize_t got =
            recv(fd, piece, std::min(sizeof piece, kMaxRequestBytes - buffer.size()), 0);
        if (got > 0) {
            buffer.append(piece, static_cast<std::size_t>(got));
        } else if (got == 0) {
            // The client stopped sending: a whole request line is enough to answer.
            if (buffer.empty()) return DropConnection{};
            if (buffer.find('\n') != std::string::npos) return buffer;
            return TextAnswer(400, kMessageBadRequest);
        } else if (errno != EINTR && errno != EAGAIN) {
            return DropConnection{};
        }
    }
}

void LingeringClose(int fd, int stopFd) {
    if (shutdown(fd, SHUT_WR) != 0) return;
    const auto deadline = Clock::now() + kLingerTime;
    std::size_t dropped = 0;
    while (dropped < kMaxLingerBytes &&
           WaitReadable(fd, stopFd, deadline) == WaitResult::Readable) {
        char piece[4096];
        const ssize_t got = recv(fd, piece, sizeof piece, 0);
        if (got == 0 || (got < 0 && errno != EINTR)) return;
        if (got > 0) dropped += static_cast<std::size_t>(got);
    }
}

std::optional<sockaddr_storage> LocalAddress(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return std::nullopt;
    }
    return address;
}

std::string FormatAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6.sin6_port));
    }
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(v4.sin_port));
}

}  // namespace

ShortLinkServer::ShortLinkServer(LinkStore& store, ServerSettings settings)
    : m_store(store), m_settings(std::move(settings)) {
    m_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0) throw std::runtime_error("cannot create event: " + ErrnoText(errno));
}

ShortLinkServer::~ShortLinkServer() {
    if (m_listenFd >= 0) close(m_listenFd);
    close(m_stopFd);
}

void ShortLinkServer::Listen() {
    const std::string where = m_settings.listenAddress.find(':') == std::string::npos
                                  ? m_settings.listenAddress
                                  : "[" + m_settings.listenAddress + "]";
    const std::string shown = where + ":" + std::to_string(m_settings.listenPort);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int looked = getaddrinfo(m_settings.listenAddress.c_str(),
                                   std::to_string(m_settings.listenPort).c_str(), &hints, &found);
    if (looked != 0) {
        throw std::runtime_error("cannot resolve " + m_settings.listenAddress + ": " +
                                 gai_strerror(looked));
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);

    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("cannot create socket: " + ErrnoText(errno));
    UniqueFd socketFd(fd);
    // A restarted service must not wait for the old connections' TIME_WAIT to pass.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
        throw std::runtime_error("cannot bind " + shown + ": " + ErrnoText(errno));
    }
    if (listen(fd, SOMAXCONN) != 0) {
        throw std::runtime_error("cannot listen on " + shown + ": " + ErrnoText(errno));
    }
    if (m_listenFd >= 0) close(m_listenFd);
    m_listenFd = socketFd.Release();
}

std::string ShortLinkServer::BoundAddress() const {
    const auto address = LocalAddress(m_listenFd);
    return address ? FormatAddress(*address) : std::string();
}

std::uint16_t ShortLinkServer::BoundPort() const {
    const auto address = LocalAddress(m_listenFd);
    if (!address) return 0;
    if (address->ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(*address).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(*address).sin_port);
}

void ShortLinkServer::Stop() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_stopFd, &one, sizeof one);
}

void ShortLinkServer::Run() {
    if (m_listenFd < 0) throw std::logic_error("Run before Listen");
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < std::max<std::size_t>(m_settings.workerCount, 1); ++i) {
        workers.emplace_back([this] { WorkerLoop(); });
    }
    AcceptLoop();
    {
        const std::lock_guard lock(m_queueMutex);
        m_closing = true;
    }
    m_queueChanged.notify_all();
    for (auto& worker : workers) worker.join();
    for (int connection : m_queue) close(connection);
    m_queue.clear();
}

void ShortLinkServer::AcceptLoop() {
    // Turned-away connections after their 503: what the client still sends is read and dropped
    // here until it closes or the linger time is over, as a worker does after its answer.
    struct Refused {
        int fd;
        Clock::time_point deadline;
    };
    std::vector<Refused> refused;
    const auto closeRefused = [&refused](std::size_t index) {
        close(refused[index].fd);
        refused.erase(refused.begin() + static_cast<std::ptrdiff_t>(index));
    };

    for (;;) {
        std::vector<pollfd> fds = {{m_stopFd, POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        int waitMs = -1;
        for (const Refused& connection : refused) {
            fds.push_back({connection.fd, POLLIN, 0});
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(connection.deadline - Clock::now());
            const int leftMs = static_cast<int>(std::max<long long>(left.count(), 0));
            waitMs = waitMs < 0 ? leftMs : std::min(waitMs, leftMs);
        }
        if (poll(fds.data(), fds.size(), waitMs) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) break;

        const auto now = Clock::now();
        for (std::size_t i = refused.size(); i-- > 0;) {
            bool done = now >= refused[i].deadline;
            if (fds[i + 2].revents != 0) {
                char piece[4096];
                const ssize_t got = recv(refused[i].fd, piece, sizeof piece, MSG_DONTWAIT);
                done = done || got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR);
            }
            if (done) closeRefused(i);
        }
        if (fds[1].revents == 0) continue;

        const int connection = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: the pending connection stays readable, so pause instead of
                // spinning until a worker has closed one.
                pollfd stop = {m_stopFd, POLLIN, 0};
                poll(&stop, 1, 100);
            }
            continue;
        }
        if (Enqueue(connection)) continue;
        SendAll(connection, SerializeAnswer(TextAnswer(503, kMessageBusy)), MSG_DONTWAIT);
        if (refused.size() < kMaxRefusedLingering && shutdown(connection, SHUT_WR) == 0) {
            refused.push_back({connection, Clock::now() + kLingerTime});
        } else {
            close(connection);
        }
    }
    for (std::size_t i = refused.size(); i-- > 0;) closeRefused(i);
}

bool ShortLinkServer::Enqueue(int connection) {
    {
        const std::lock_guard lock(m_queueMutex);
        if (m_closing ||
            m_queue.size() + m_serving >=
                std::max<std::size_t>(m_settings.workerCount, 1) + m_settings.queueCapacity) {
            return false;
        }
        m_queue.push_back(connection);
    }
    m_queueChanged.notify_one();
    return true;
}

void ShortLinkServer::WorkerLoop() {
    for (;;) {
        int connection = -1;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_closing) return;
            connection = m_queue.front();
            m_queue.pop_front();
            ++m_serving;
        }
        ServeConnection(connection);
        const std::lock_guard lock(m_queueMutex);
        --m_serving;
    }
}

void ShortLinkServer::ServeConnection(int connection) {
    const UniqueFd owned(connection);
    // A client that stops reading must not hold a worker for longer than this.
    const timeval sendTimeout{kSendTimeoutSeconds, 0};
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);

    const ReadOutcome outcome = ReadRequestHead(connection, m_stopFd, m_settings.readTimeout);
    if (std::holds_alternative<DropConnection>(outcome)) return;

    HttpAnswer answer;
    if (const auto* head = std::get_if<std::string>(&outcome)) {
        answer = AnswerServiceRequest(ParseServiceRequest(*head, m_settings.serviceHost), m_store,
                                      m_settings.serviceHost);
    } else {
        answer = std::get<HttpAnswer>(outcome);
    }
    if (SendAll(connection, SerializeAnswer(answer))) LingeringClose(connection, m_stopFd);
}
