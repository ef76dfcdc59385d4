#include "server/CConnectionThreads.h"

namespace tavik::server {

CConnectionThreads::~CConnectionThreads() {
    stopAll();
}

void CConnectionThreads::start(std::string address, std::function<void()> run,
                               std::function<void()> stop) {
    std::lock_guard lock(mutex_);
    Worker& worker = workers_.emplace_back();
    worker.address = std::move(address);
    worker.stop = std::move(stop);
    // A list never moves its elements, so the thread may keep a reference to its own worker.
    worker.thread = std::thread([&worker, run = std::move(run)] {
        run();
        worker.finished = true;
    });
}

size_t CConnectionThreads::reap() {
    std::lock_guard lock(mutex_);
    size_t running = 0;
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->finished) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++running;
            ++it;
        }
    }
    return running;
}

size_t CConnectionThreads::runningFrom(const std::string& address) const {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const Worker& worker : workers_) {
        count += !worker.finished && worker.address == address ? 1 : 0;
    }
    return count;
}

void CConnectionThreads::stopAll() {
    std::lock_guard lock(mutex_);
    for (Worker& worker : workers_) {
        worker.stop();
    }
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
    workers_.clear();
}

} // namespace tavik::server
