// The process's poll state: the list of watched sockets, the one lock that guards it, the count
// of live CPollSocket objects and the poll thread.
//
// The thread blocks in poll() on every watched socket plus a wake-up descriptor (an eventfd);
// any change of the list or of what a socket waits for signals the descriptor, so an idle
// program costs no processor time. A socket that reported readiness is not watched again for it
// until its owner has acted on it (a receive re-arms reading), which keeps a level-triggered
// poll from reporting the same bytes over and over.
//
// The thread starts on the first connect (or accept, attach, listen) and ends when the last
// CPollSocket is destroyed: that destructor wakes it and joins it, so when it returns the thread
// is gone. The handlers it calls (under the lock) only post window messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace tavik::app {

class CPollSocket;

class CPollThread {
public:
    static CPollThread& Instance();

    // The lock around the socket list, the thread and every readiness report. Recursive: a
    // handler called under it may close its socket.
    std::recursive_mutex& Lock() { return lock_; }

    // List membership; both wake the thread.
    void Add(CPollSocket* socket);
    void Remove(CPollSocket* socket);
    bool Contains(const CPollSocket* socket);

    void SocketCreated() { ++live_; }
    // Stops the thread when the count reaches zero. Never call with the lock held.
    void SocketDestroyed();

    // Starts the thread unless it is running.
    void Start();
    // Makes the thread rebuild its watch set.
    void Wake();
    bool IsRunning();
    int LiveSockets() const { return live_.load(); }

    ~CPollThread();

private:
    CPollThread();
    void Run();
    void Stop();

    std::recursive_mutex lock_;
    std::vector<CPollSocket*> sockets_;
    uint64_t membership_ = 0; // bumped whenever a socket joins or leaves the list
    std::atomic<int> live_{0};
    std::thread thread_;
    bool running_ = false;
    bool stopping_ = false;
    int wakeFd_ = -1;
};

} // namespace tavik::app
