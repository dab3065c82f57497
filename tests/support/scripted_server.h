#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 for one connection: it reads the client's request (up to the empty
// line that ends it), then plays its script and closes the connection. Everything the client
// sent is kept byte for byte.
class ScriptedServer {
public:
    struct Step {
        enum class Kind { Send, Pause, HoldUntilClientCloses, Reset };
        Kind kind;
        std::string bytes;
        std::chrono::milliseconds pause{0};
        std::uint64_t times = 1;  // Send: how often the bytes go out, one copy after another
    };
    static Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), {}}; }
    // Sends bytes `times` times over without holding the whole stream: a gigabyte costs a piece.
    static Step SendRepeated(std::string bytes, std::uint64_t times) {
        return {Step::Kind::Send, std::move(bytes), {}, times};
    }
    static Step Pause(std::chrono::milliseconds pause) { return {Step::Kind::Pause, {}, pause}; }
    // Stays silent, reading what comes, until the client closes its side.
    static Step HoldUntilClientCloses() { return {Step::Kind::HoldUntilClientCloses, {}, {}}; }
    // Ends the connection with a reset instead of an orderly close.
    static Step Reset() { return {Step::Kind::Reset, {}, {}}; }

    // Port 0 takes any free port. Listening() tells whether the port could be bound.
    explicit ScriptedServer(std::vector<Step> script, std::uint16_t port = 0);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    bool Listening() const { return m_listenFd >= 0; }
    std::uint16_t Port() const { return m_port; }

    // Waits until the connection has ended; false when it did not end within the bound.
    bool WaitUntilDone(std::chrono::milliseconds bound = std::chrono::seconds(10));
    // The bytes the client sent, once the connection has ended.
    std::string Received();
    bool Accepted();
    // From the end of the request to the close of the connection.
    std::chrono::nanoseconds ServingTime();

private:
    void Serve();
    bool WaitFor(int fd, short events, int boundMs);
    bool ReadRequest(int connection);
    bool Play(int connection);

    std::vector<Step> m_script;
    int m_listenFd = -1;
    int m_stopPipe[2] = {-1, -1};
    std::uint16_t m_port = 0;

    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
    bool m_accepted = false;
    std::string m_received;
    std::chrono::nanoseconds m_servingTime{0};
    std::thread m_thread;
};
