#include "tests/support/CConnectionCrowd.h"

#include "tests/support/LoopbackFrom.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace tavik::test {

CConnectionCrowd::CConnectionCrowd(uint16_t port, const std::vector<std::string>& sources,
                                   int perAddress)
    : port_(port), perAddress_(perAddress) {
    for (const std::string& source : sources) {
        threads_.emplace_back([this, source] { hold(source); });
    }
}

CConnectionCrowd::~CConnectionCrowd() {
    stop();
}

void CConnectionCrowd::stop() {
    stopping_ = true;
    for (std::thread& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

std::vector<std::string> CConnectionCrowd::addresses(int third, int count) {
    std::vector<std::string> result;
    for (int i = 1; i <= count; ++i) {
        result.push_back("127.0." + std::to_string(third) + "." + std::to_string(i));
    }
    return result;
}

void CConnectionCrowd::hold(const std::string& source) {
    std::vector<pollfd> held;
    while (!stopping_) {
        while (static_cast<int>(held.size()) < perAddress_ && !stopping_) {
            const int fd = connectLoopbackFrom(source, port_, 1000);
            if (fd < 0) {
                break;
            }
            held.push_back({fd, POLLIN, 0});
            ++opened_;
        }
        // Whatever the server sends or closes ends that connection; it is replaced at once.
        if (::poll(held.data(), held.size(), held.empty() ? 10 : 5) > 0) {
            for (auto it = held.begin(); it != held.end();) {
                if (it->revents != 0) {
                    ::close(it->fd);
                    it = held.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    for (const pollfd& entry : held) {
        ::close(entry.fd);
    }
}

} // namespace tavik::test
