// One create against a loopback service, compared with the time the service itself took from
// the end of the request to the close of the connection. The difference is what the client
// adds: the readiness poll (one 10 ms sleep at a time), the connect, and the store and list work.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "create_short_link_internal.h"
#include "fake_window.h"
#include "http_fetch_internal.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_CreateRoundTrip(benchmark::State& state) {
    const std::chrono::milliseconds serviceDelay(state.range(0));
    ScopedTempDir dir;
    FakeWindow window;
    double createSeconds = 0;
    double serviceSeconds = 0;
    std::int64_t links = 0;
    for (auto _ : state) {
        // A new link each time, so every create also appends a record.
        const std::string answer =
            "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhttp://s.example/" +
            std::to_string(links++);
        ScriptedServer server({ScriptedServer::Pause(serviceDelay), ScriptedServer::Send(answer)});
        window.texts[WidgetNumber::NoteEditor] = "note";

        const auto start = Clock::now();
        CreateShortLinkWith("http://example.com/a?b=1&c=2", window,
                            [&](const std::string& url, std::int32_t timeoutMs) {
                                return FetchHttpOnPort(url, timeoutMs, server.Port());
                            });
        const std::chrono::duration<double> took = Clock::now() - start;
        if (window.texts[WidgetNumber::MessageLabel] != "Erfolgreich eingetragen") {
            state.SkipWithError("the create did not succeed");
            break;
        }
        state.SetIterationTime(took.count());
        createSeconds += took.count();
        serviceSeconds += std::chrono::duration<double>(server.ServingTime()).count();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["service_ms"] = serviceSeconds / iterations * 1e3;
    state.counters["extra_ms"] = (createSeconds - serviceSeconds) / iterations * 1e3;
}
BENCHMARK(BM_CreateRoundTrip)
    ->Arg(0)
    ->Arg(4)
    ->Arg(15)
    ->Arg(50)
    ->ArgName("service_delay_ms")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
