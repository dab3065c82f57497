#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "server_options.h"

class LinkStore;

// Serves the short-link requests over TCP: one thread accepts, a fixed set of workers each serve
// one connection at a time. Every answer closes its connection. Connections beyond the number of
// workers plus the queue's capacity get a 503 at once.
class ShortLinkServer {
public:
    ShortLinkServer(LinkStore& store, ServerSettings settings);
    ~ShortLinkServer();
    ShortLinkServer(const ShortLinkServer&) = delete;
    ShortLinkServer& operator=(const ShortLinkServer&) = delete;

    // Binds and listens; throws std::runtime_error ("cannot bind 127.0.0.1:80: Permission denied").
    void Listen();
    // Where Listen bound, with the port the system chose for port 0: "127.0.0.1:8080".
    std::string BoundAddress() const;
    std::uint16_t BoundPort() const;

    // Serves until Stop; returns once every worker has finished its connection.
    void Run();
    // Safe to call from any thread and from a signal handler, before or during Run.
    void Stop() noexcept;

private:
    void AcceptLoop();
    void WorkerLoop();
    bool Enqueue(int connection);
    void ServeConnection(int connection);

    LinkStore& m_store;
    const ServerSettings m_settings;
    int m_listenFd = -1;
    // Becomes readable for good once Stop is called; every wait of every thread watches it.
    int m_stopFd = -1;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<int> m_queue;
    // Counted with the queue, so that the bound on held connections does not depend on how soon
    // a worker takes one from the queue.
    std::size_t m_serving = 0;
    bool m_closing = false;
};
