// The threads of a listener's connections, shared by the disk server and the service servers:
// one thread per accepted connection, running until the connection ends. The listener decides
// whom to take (its caps and refusals); this keeps the threads, counts those still running,
// joins the finished ones and, at the end, stops and joins them all. Thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace tavik::server {

class CConnectionThreads {
public:
    CConnectionThreads() = default;
    ~CConnectionThreads();
    CConnectionThreads(const CConnectionThreads&) = delete;
    CConnectionThreads& operator=(const CConnectionThreads&) = delete;

    // Runs run() on a thread of its own for a client at address (its IP text). stop() must make
    // a running run() return soon; stopAll() calls it from another thread.
    void start(std::string address, std::function<void()> run, std::function<void()> stop);
    // Joins the threads whose run() has returned; returns how many still run.
    size_t reap();
    // How many still run for clients at address.
    size_t runningFrom(const std::string& address) const;
    // Stops every connection and waits for all threads. Idempotent.
    void stopAll();

private:
    struct Worker {
        std::string address;
        std::function<void()> stop;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    mutable std::mutex mutex_;
    std::list<Worker> workers_;
};

} // namespace tavik::server
