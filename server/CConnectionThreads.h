// The threads of a listener's connections, shared by the disk server and the service servers:
// one thread per accepted connection, running until the connection ends. The listener decides
// whom to take (its caps and refusals); this keeps the threads, counts those still running,
// joins the finished ones, makes room by closing a connection that has not logged in and, at the
// end, stops and joins them all. Thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
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
    // a running run() return soon; stopAll() and makeRoom() call it from another thread.
    // loggedIn() tells, from any thread, whether the client has logged in (none: never).
    // drain() (none: stop()) asks a connection to end once its running request is done.
    void start(std::string address, std::function<void()> run, std::function<void()> stop,
               std::function<bool()> loggedIn = {}, std::function<void()> drain = {});
    // Joins the threads whose run() has returned; returns how many still run, not counting
    // those makeRoom() has already stopped (they are on their way out).
    size_t reap();
    // How many still run for clients at address (again without those on their way out).
    size_t runningFrom(const std::string& address) const;
    // Stops one connection that has not logged in: the oldest of the address that holds the
    // most such connections, so that a crowd of them from a few addresses loses its own first
    // and a real client's single connection is the last to go. A logged-in connection is never
    // chosen. False when there is none to stop.
    bool makeRoom();
    // Asks every connection to end after its running request (a graceful stop); does not wait.
    void drainAll();
    // Stops every connection and waits for all threads. Idempotent.
    void stopAll();

private:
    struct Worker {
        std::string address;
        std::function<void()> stop;
        std::function<bool()> loggedIn;
        std::function<void()> drain;
        std::thread thread;
        uint64_t order = 0;   // of accepting
        bool leaving = false; // stopped by makeRoom()
        std::atomic<bool> finished{false};
    };

    mutable std::mutex mutex_;
    std::list<Worker> workers_;
    uint64_t nextOrder_ = 0;
};

} // namespace tavik::server
