#pragma once

// Seams of FetchHttp for tests and benchmarks: the port, the clock and the poll sleep.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The fetch gives up on an answer that grows past this; a short link is a few dozen bytes.
inline constexpr std::size_t kMaxAnswerBytes = 1024 * 1024;
inline constexpr int kReadyPollIntervalMs = 10;
inline constexpr std::uint16_t kHttpPort = 80;
// Once the answer has begun, the whole of it must have come within this many time-outs: a peer
// that trickles a byte now and then, each within the time-out, must not hold the window for ever.
inline constexpr int kReadingBoundTimeouts = 2;

struct FetchTiming {
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    std::function<std::uint32_t()> tickCount;
    // One pause between two readiness queries.
    std::function<void()> pollSleep;
};

// CLOCK_MONOTONIC in milliseconds and a 10 ms sleep.
const FetchTiming& SystemFetchTiming();

// Whether a wait that began at startTick has outlasted timeoutMs at nowTick. The difference is
// taken modulo 2^32 as a signed value, so a tick count that wrapped in between still counts.
bool TimedOut(std::uint32_t startTick, std::uint32_t nowTick, std::int32_t timeoutMs);

// The host part of an absolute URL: after the first "://", up to "/", "?" or "#", without user
// information and port. "" when there is no "://". Exposed for the fuzz target.
std::string HostOfUrl(const std::string& url);

// The body of an answer: everything after its first LF CR and the byte behind it, or the whole
// answer without LF CR. Exposed for the fuzz target.
std::string BodyOfAnswer(const std::string& answer);

// FetchHttp, but to the given port and with the given clock.
std::string FetchHttpOnPort(const std::string& url, std::int32_t timeoutMs, std::uint16_t port,
                            const FetchTiming& timing = SystemFetchTiming());
