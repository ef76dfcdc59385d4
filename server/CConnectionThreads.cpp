#include "server/CConnectionThreads.h"

#include <map>
#include <utility>

namespace tavik::server {

CConnectionThreads::~CConnectionThreads() {
    stopAll();
}

void CConnectionThreads::start(std::string address, std::function<void()> run,
                               std::function<void()> stop, std::function<bool()> loggedIn,
                               std::function<void()> drain) {
    std::lock_guard lock(mutex_);
    Worker& worker = workers_.emplace_back();
    worker.address = std::move(address);
    worker.stop = std::move(stop);
    worker.loggedIn = std::move(loggedIn);
    worker.drain = drain ? std::move(drain) : worker.stop;
    worker.order = nextOrder_++;
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
            running += it->leaving ? 0 : 1;
            ++it;
        }
    }
    return running;
}

size_t CConnectionThreads::runningFrom(const std::string& address) const {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const Worker& worker : workers_) {
        count += !worker.finished && !worker.leaving && worker.address == address ? 1 : 0;
    }
    return count;
}

bool CConnectionThreads::makeRoom() {
    std::lock_guard lock(mutex_);
    // The candidates of each address; the list keeps the order of accepting, so the first one
    // counted for an address is its oldest.
    std::map<std::string, std::pair<size_t, Worker*>> waiting;
    for (Worker& worker : workers_) {
        const bool loggedIn = worker.loggedIn && worker.loggedIn();
        if (!worker.finished && !worker.leaving && !loggedIn) {
            auto& [count, oldest] = waiting[worker.address];
            oldest = count++ == 0 ? &worker : oldest;
        }
    }
    Worker* chosen = nullptr;
    size_t most = 0;
    for (const auto& [address, candidates] : waiting) {
        const auto& [count, oldest] = candidates;
        // Between equal counts, the one holding the older connection.
        if (count > most || (count == most && oldest->order < chosen->order)) {
            chosen = oldest;
            most = count;
        }
    }
    if (chosen == nullptr) {
        return false;
    }
    chosen->leaving = true;
    chosen->stop();
    return true;
}

void CConnectionThreads::drainAll() {
    std::lock_guard lock(mutex_);
    for (Worker& worker : workers_) {
        worker.drain();
    }
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
