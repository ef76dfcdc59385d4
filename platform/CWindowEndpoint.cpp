#include "platform/CWindowEndpoint.h"

#include "platform/Utf8.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace tavik::platform {

namespace {

constexpr size_t kRecordSize = 20;

// The abstract namespace is shared by every user of the machine; the user id in the name keeps
// each user's windows apart, and a scope (TAVIK_WINDOW_SCOPE) keeps a test's windows apart from
// those of other tests and of a program the user is running.
std::string AbstractName(const std::string& name, int instance) {
    const char* scope = std::getenv("TAVIK_WINDOW_SCOPE");
    return "tavik-window/" + std::to_string(::getuid()) + "/" + (scope ? scope : "") + "/" + name +
           "#" + std::to_string(instance);
}

// Fills addr for an abstract name (leading NUL); false when it does not fit.
bool MakeAddress(const std::string& abstract, sockaddr_un& addr, socklen_t& length) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (abstract.size() + 1 > sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path + 1, abstract.data(), abstract.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstract.size());
    return true;
}

class Socket {
public:
    Socket() : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::array<unsigned char, kRecordSize> Encode(const EndpointRecord& record) {
    std::array<unsigned char, kRecordSize> bytes{};
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(record.msg >> (8 * i));
    }
    auto lParam = static_cast<uint64_t>(record.lParam);
    for (int i = 0; i < 8; ++i) {
        bytes[4 + i] = static_cast<unsigned char>(record.wParam >> (8 * i));
        bytes[12 + i] = static_cast<unsigned char>(lParam >> (8 * i));
    }
    return bytes;
}

EndpointRecord Decode(const unsigned char* bytes) {
    EndpointRecord record;
    uint64_t lParam = 0;
    for (int i = 0; i < 4; ++i) {
        record.msg |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    }
    for (int i = 0; i < 8; ++i) {
        record.wParam |= static_cast<uint64_t>(bytes[4 + i]) << (8 * i);
        lParam |= static_cast<uint64_t>(bytes[12 + i]) << (8 * i);
    }
    record.lParam = static_cast<int64_t>(lParam);
    return record;
}

// True when the datagram carries the credentials of a process running as this user. The kernel
// fills them in for every sender; only a process allowed to change its user id can claim
// another one, and such a process could reach this user's windows anyway.
bool FromThisUser(msghdr& message) {
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part != nullptr;
         part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level == SOL_SOCKET && part->cmsg_type == SCM_CREDENTIALS &&
            part->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
            ucred sender;
            std::memcpy(&sender, CMSG_DATA(part), sizeof sender);
            return sender.uid == ::getuid();
        }
    }
    return false;
}

bool IsBound(const std::string& abstract) {
    sockaddr_un addr;
    socklen_t length = 0;
    Socket probe;
    if (probe.fd() < 0 || !MakeAddress(abstract, addr, length)) {
        return false;
    }
    return ::connect(probe.fd(), reinterpret_cast<sockaddr*>(&addr), length) == 0;
}

} // namespace

CWindowEndpoint::~CWindowEndpoint() {
    Close();
}

std::string CWindowEndpoint::ClassName(std::u16string_view windowClass) {
    return "class:" + utf8FromUtf16(windowClass);
}

std::string CWindowEndpoint::TitleName(std::u16string_view title) {
    return "title:" + utf8FromUtf16(title);
}

std::string CWindowEndpoint::HandleName(int handle) {
    return "hwnd:" + std::to_string(handle);
}

bool CWindowEndpoint::IsValidName(const std::string& name) {
    sockaddr_un addr;
    socklen_t length = 0;
    return !name.empty() && MakeAddress(AbstractName(name, kMaxInstances - 1), addr, length);
}

int CWindowEndpoint::Bind(const std::string& name) {
    if (fd_ >= 0) {
        return EBUSY;
    }
    for (int instance = 0; instance < kMaxInstances; ++instance) {
        sockaddr_un addr;
        socklen_t length = 0;
        if (!MakeAddress(AbstractName(name, instance), addr, length)) {
            return ENAMETOOLONG;
        }
        Socket socket;
        if (socket.fd() < 0) {
            return errno;
        }
        if (::bind(socket.fd(), reinterpret_cast<sockaddr*>(&addr), length) == 0) {
            // Abstract names have no permissions: any process of any user can send here. With
            // SO_PASSCRED the kernel attaches each sender's true credentials, so Receive can
            // keep to the records of this user's own processes.
            int one = 1;
            if (::setsockopt(socket.fd(), SOL_SOCKET, SO_PASSCRED, &one, sizeof one) != 0) {
                return errno;
            }
            fd_ = socket.release();
            return 0;
        }
        if (errno != EADDRINUSE) {
            return errno;
        }
    }
    return EADDRINUSE;
}

int CWindowEndpoint::BindHandle(int& handle) {
    // Handles of one process share its id in their high bits, so two programs never hand out
    // the same number; the low bits count this process's windows.
    static std::atomic<int> next{1};
    const int base = (static_cast<int>(::getpid()) & 0x3FFFFF) << 8;
    for (int attempt = 0; attempt < 256; ++attempt) {
        int candidate = base | (next.fetch_add(1) & 0xFF);
        if (candidate <= 0 || !Find(HandleName(candidate)).empty()) {
            continue;
        }
        int result = Bind(HandleName(candidate));
        if (result == 0) {
            handle = candidate;
        }
        if (result != EADDRINUSE) {
            return result;
        }
        Close();
    }
    return EADDRINUSE;
}

void CWindowEndpoint::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool CWindowEndpoint::Receive(EndpointRecord& record) {
    if (fd_ < 0) {
        return false;
    }
    for (;;) {
        unsigned char bytes[kRecordSize + 1];
        iovec data{bytes, sizeof bytes};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t got = ::recvmsg(fd_, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (static_cast<size_t>(got) == kRecordSize && !(message.msg_flags & MSG_CTRUNC) &&
            FromThisUser(message)) {
            record = Decode(bytes);
            return true;
        }
        // Not a record of ours, or sent by another user's process: drop it and look at the
        // next one.
    }
}

std::vector<std::string> CWindowEndpoint::Find(const std::string& name) {
    std::vector<std::string> found;
    for (int instance = 0; instance < kMaxInstances; ++instance) {
        std::string abstract = AbstractName(name, instance);
        if (IsBound(abstract)) {
            found.push_back(abstract);
        }
    }
    return found;
}

bool CWindowEndpoint::Post(const std::string& address, const EndpointRecord& record) {
    sockaddr_un addr;
    socklen_t length = 0;
    Socket socket;
    if (socket.fd() < 0 || !MakeAddress(address, addr, length)) {
        return false;
    }
    auto bytes = Encode(record);
    ssize_t sent = ::sendto(socket.fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                            reinterpret_cast<sockaddr*>(&addr), length);
    return sent == static_cast<ssize_t>(bytes.size());
}

bool CWindowEndpoint::PostToFirst(const std::string& name, const EndpointRecord& record) {
    std::vector<std::string> found = Find(name);
    return !found.empty() && Post(found.front(), record);
}

} // namespace tavik::platform
