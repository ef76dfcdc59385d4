#include "tests/support/CDroppingListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::test {

namespace {

// A queue of one waiting connection (backlog 0) is full after the first; a few more make sure.
constexpr int kFillers = 4;

} // namespace

CDroppingListener::CDroppingListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    for (int i = 0; i < kFillers; ++i) {
        int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (filler < 0) {
            return;
        }
        fillers_.push_back(filler);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    port_ = ntohs(address.sin_port);
}

CDroppingListener::~CDroppingListener() {
    for (int filler : fillers_) {
        ::close(filler);
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

} // namespace tavik::test
