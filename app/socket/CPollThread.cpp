#include "app/socket/CPollThread.h"

#include "app/socket/CPollSocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavik::app {

CPollThread& CPollThread::Instance() {
    static CPollThread instance;
    return instance;
}

CPollThread::CPollThread() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CPollThread::~CPollThread() {
    Stop();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void CPollThread::Add(CPollSocket* socket) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (std::find(sockets_.begin(), sockets_.end(), socket) == sockets_.end()) {
            sockets_.push_back(socket);
            ++membership_;
        }
    }
    Wake();
}

void CPollThread::Remove(CPollSocket* socket) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        auto it = std::find(sockets_.begin(), sockets_.end(), socket);
        if (it == sockets_.end()) {
            return;
        }
        sockets_.erase(it);
        ++membership_;
    }
    Wake();
}

bool CPollThread::Contains(const CPollSocket* socket) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return std::find(sockets_.begin(), sockets_.end(), socket) != sockets_.end();
}

void CPollThread::SocketDestroyed() {
    if (--live_ == 0) {
        Stop();
    }
}

void CPollThread::Start() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (running_ || wakeFd_ < 0) {
        return;
    }
    if (thread_.joinable()) {
        thread_.join(); // a thread that was told to stop and has ended
    }
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

void CPollThread::Stop() {
    std::thread ending;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (!running_) {
            return;
        }
        stopping_ = true;
        running_ = false;
        ending = std::move(thread_);
    }
    Wake();
    // The thread blocks only in poll() and on the lock, and its handlers only post, so it ends
    // as soon as it sees the wake-up; a thread that stops itself would be joined here too.
    if (ending.joinable() && ending.get_id() != std::this_thread::get_id()) {
        ending.join();
    } else if (ending.joinable()) {
        ending.detach();
    }
}

void CPollThread::Wake() {
    uint64_t one = 1;
    // The counter only saturates after 2^64 - 2 signals; a failed write means a wake is pending.
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

bool CPollThread::IsRunning() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return running_;
}

void CPollThread::Run() {
    std::vector<pollfd> fds;
    std::vector<CPollSocket*> watched;
    for (;;) {
        uint64_t membership = 0;
        fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
        watched.clear();
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            if (stopping_) {
                return;
            }
            membership = membership_;
            for (CPollSocket* socket : sockets_) {
                short events = socket->WatchEvents();
                if (events != 0) {
                    fds.push_back(pollfd{socket->Handle(), events, 0});
                    watched.push_back(socket);
                }
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            // Only a fault of ours (bad arguments) gets here; the next Start() begins afresh.
            std::lock_guard<std::recursive_mutex> guard(lock_);
            running_ = false;
            return;
        }
        if (fds[0].revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t drained = read(wakeFd_, &count, sizeof count);
        }
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (stopping_) {
            return;
        }
        // A socket that left the list meanwhile may be gone, and its descriptor number may
        // belong to another socket now: drop this pass and look again.
        if (membership != membership_) {
            continue;
        }
        for (size_t i = 0; i < watched.size(); ++i) {
            if (fds[i + 1].revents != 0 && watched[i]->Handle() == fds[i + 1].fd) {
                watched[i]->ReportReadiness(fds[i + 1].revents);
            }
        }
    }
}

} // namespace tavik::app
