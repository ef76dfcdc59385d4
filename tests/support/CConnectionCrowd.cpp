#include "tests/support/CConnectionCrowd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace tavik::test {

namespace {

// A blocking connect from source, bounded to a second; -1 on failure.
int connectFrom(const std::string& source, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &target.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

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
            const int fd = connectFrom(source, port_);
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
