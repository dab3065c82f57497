#include "http_fetch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "http_fetch_internal.h"

namespace {

constexpr std::size_t kReceivePieceBytes = 4096;

class SocketHandle {
public:
    explicit SocketHandle(int fd) : m_fd(fd) {}
    ~SocketHandle() {
        if (m_fd >= 0) close(m_fd);
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int Fd() const { return m_fd; }

private:
    int m_fd;
};

std::uint32_t MonotonicTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

void SleepOnePollInterval() {
    timespec interval{0, kReadyPollIntervalMs * 1000000L};
    while (nanosleep(&interval, &interval) != 0 && errno == EINTR) {
    }
}

bool FindIpv4Address(const std::string& host, in_addr& address) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    return true;
}

// Waits until the socket reports one of the events, for at least boundMs in all; false when
// the bound passed first or poll failed.
bool PollFor(int fd, short events, std::int32_t boundMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs < 0 ? 0 : boundMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, events, 0};
        const int result = poll(&entry, 1, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (result > 0) return true;
        if (result == 0) return false;
        if (errno != EINTR) return false;
    }
}

// A non-blocking connect, so that an unreachable host cannot hold the window longer than the
// time-out; the socket is blocking again afterwards.
bool ConnectWithin(int fd, const in_addr& address, std::uint16_t port, std::int32_t timeoutMs) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = address;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS) return false;
        if (!PollFor(fd, POLLOUT, timeoutMs)) return false;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    }
    return fcntl(fd, F_SETFL, flags) == 0;
}

// A peer that never reads must not keep the one send blocked for ever either.
void BoundSending(int fd, std::int32_t timeoutMs) {
    const std::int32_t boundMs = timeoutMs < 1 ? 1 : timeoutMs;
    timeval bound{};
    bound.tv_sec = boundMs / 1000;
    bound.tv_usec = (boundMs % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
}

bool AnswerHasBegun(int fd) {
    int ready = 0;
    return ioctl(fd, FIONREAD, &ready) == 0 && ready > 0;
}

// Reads until the peer closes. A read error, a silence longer than the time-out, an answer
// beyond the cap or one still coming kReadingBoundTimeouts time-outs after it began leaves a
// partial answer, which must never pass for a short link: then false.
bool ReadWholeAnswer(int fd, std::int32_t timeoutMs, std::string& answer) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(std::int64_t{kReadingBoundTimeouts} *
                                                 std::max<std::int32_t>(timeoutMs, 0));
    std::array<char, kReceivePieceBytes> piece{};
    std::size_t received = 0;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) return false;
        const auto silenceMs = static_cast<std::int32_t>(
            std::min<std::int64_t>(timeoutMs, static_cast<std::int64_t>(left.count())));
        if (!PollFor(fd, POLLIN, silenceMs)) return false;
        const ssize_t count = recv(fd, piece.data(), piece.size(), 0);
        if (count == 0) return true;
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        received += static_cast<std::size_t>(count);
        if (received > kMaxAnswerBytes) return false;
        const auto* zero = static_cast<const char*>(
            std::memchr(piece.data(), '\0', static_cast<std::size_t>(count)));
        answer.append(piece.data(), zero ? static_cast<std::size_t>(zero - piece.data())
                                         : static_cast<std::size_t>(count));
    }
}

}  // namespace

// After the first "://", up to "/", "?" or "#", without user information and port.
std::string HostOfUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    std::string authority = url.substr(scheme + 3);
    authority.resize(std::min(authority.size(), authority.find_first_of("/?#")));
    const std::size_t at = authority.find('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    authority.resize(std::min(authority.size(), authority.find(':')));
    return authority;
}

// Everything behind the first LF CR and the byte after it, which in CR LF CR LF is just past the
// empty line that ends the headers; the whole answer when it holds no LF CR.
std::string BodyOfAnswer(const std::string& answer) {
    const std::size_t lineFeed = answer.find("\n\r");
    if (lineFeed == std::string::npos) return answer;
    const std::size_t bodyStart = lineFeed + 3;
    return bodyStart < answer.size() ? answer.substr(bodyStart) : std::string();
}

const FetchTiming& SystemFetchTiming() {
    static const FetchTiming timing{MonotonicTickCount, SleepOnePollInterval};
    return timing;
}

bool TimedOut(std::uint32_t startTick, std::uint32_t nowTick, std::int32_t timeoutMs) {
    const auto elapsed = static_cast<std::int32_t>(nowTick - startTick);
    return elapsed > timeoutMs;
}

std::string FetchHttpOnPort(const std::string& url, std::int32_t timeoutMs, std::uint16_t port,
                            const FetchTiming& timing) {
    const std::string host = HostOfUrl(url);
    if (host.empty()) return {};
    in_addr address{};
    if (!FindIpv4Address(host, address)) return {};

    const SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Fd() < 0 || !ConnectWithin(socket.Fd(), address, port, timeoutMs)) return {};

    BoundSending(socket.Fd(), timeoutMs);
    const std::string request = "GET " + url + " HTTP/1.0\r\n\r\n";
    // A failed send is not checked: no answer comes, and the wait below ends at the time-out.
    (void)send(socket.Fd(), request.data(), request.size(), MSG_NOSIGNAL);

    // Readiness is only polled, so a peer that closed without a byte still waits out the time.
    const std::uint32_t start = timing.tickCount();
    for (;;) {
        timing.pollSleep();
        if (AnswerHasBegun(socket.Fd())) break;
        if (TimedOut(start, timing.tickCount(), timeoutMs)) return {};
    }

    std::string answer;
    if (!ReadWholeAnswer(socket.Fd(), timeoutMs, answer)) return {};
    return BodyOfAnswer(answer);
}

std::string FetchHttp(const std::string& url, std::int32_t timeoutMs) {
    return FetchHttpOnPort(url, timeoutMs, kHttpPort);
}
