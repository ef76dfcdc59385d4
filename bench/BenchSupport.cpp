#include "bench/BenchSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

namespace {

constexpr size_t kBlock = 65536;

class CFd {
public:
    explicit CFd(int fd = -1) : fd_(fd) {}
    ~CFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connected pair of loopback TCP sockets.
bool connectedPair(int& client, int& server) {
    CFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 1) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    client = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return false;
    }
    server = ::accept(listener.get(), nullptr, nullptr);
    return server >= 0;
}

bool sendAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool recvAll(int fd, char* bytes, size_t count) {
    while (count > 0) {
        ssize_t n = ::recv(fd, bytes, count, 0);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

uint64_t nowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

const char* option(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return argv[i + 1];
        }
    }
    return nullptr;
}

double secondsSince(uint64_t startNs) {
    return static_cast<double>(nowNs() - startNs) / 1e9;
}

bool makeFile(const std::string& path, uint64_t size) {
    CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    if (fd.get() < 0) {
        return false;
    }
    std::vector<char> block(kBlock);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    for (uint64_t done = 0; done < size;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, size - done));
        if (::write(fd.get(), block.data(), n) != static_cast<ssize_t>(n)) {
            return false;
        }
        done += n;
    }
    return true;
}

bool filesEqual(const std::string& a, const std::string& b) {
    CFd fa(::open(a.c_str(), O_RDONLY));
    CFd fb(::open(b.c_str(), O_RDONLY));
    if (fa.get() < 0 || fb.get() < 0) {
        return false;
    }
    std::vector<char> ba(kBlock), bb(kBlock);
    for (;;) {
        ssize_t na = ::read(fa.get(), ba.data(), kBlock);
        ssize_t nb = ::read(fb.get(), bb.data(), kBlock);
        if (na != nb || na < 0) {
            return false;
        }
        if (na == 0) {
            return true;
        }
        if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) {
            return false;
        }
    }
}

double rawStreamRate(const std::string& source, const std::string& destination) {
    int clientFd = -1;
    int serverFd = -1;
    if (!connectedPair(clientFd, serverFd)) {
        return 0;
    }
    CFd client(clientFd);
    CFd server(serverFd);
    CFd in(::open(source.c_str(), O_RDONLY));
    CFd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    struct stat st {};
    if (in.get() < 0 || out.get() < 0 || ::fstat(in.get(), &st) != 0) {
        return 0;
    }
    const auto total = static_cast<uint64_t>(st.st_size);
    uint64_t start = nowNs();
    std::thread sender([&] {
        std::vector<char> block(kBlock);
        for (;;) {
            ssize_t n = ::read(in.get(), block.data(), kBlock);
            if (n <= 0 || !sendAll(client.get(), block.data(), static_cast<size_t>(n))) {
                break;
            }
        }
        ::shutdown(client.get(), SHUT_WR);
    });
    std::vector<char> block(kBlock);
    uint64_t received = 0;
    bool ok = true;
    while (received < total) {
        pollfd p{server.get(), POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            ok = false;
            break;
        }
        ssize_t n = ::recv(server.get(), block.data(), kBlock, 0);
        if (n <= 0 || ::write(out.get(), block.data(), static_cast<size_t>(n)) != n) {
            ok = false;
            break;
        }
        received += static_cast<uint64_t>(n);
    }
    double seconds = secondsSince(start);
    sender.join();
    return ok ? static_cast<double>(total) / seconds : 0;
}

double rawPingPongRate(int requestBytes, int replyBytes, int count, bool otherProcess,
                       const char* statPath) {
    int clientFd = -1;
    int serverFd = -1;
    if (!connectedPair(clientFd, serverFd)) {
        return 0;
    }
    CFd client(clientFd);
    CFd server(serverFd);
    int one = 1;
    ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto answer = [&] {
        std::vector<char> request(static_cast<size_t>(requestBytes));
        std::vector<char> reply(static_cast<size_t>(replyBytes), 'r');
        for (int i = 0; i < count; ++i) {
            if (!recvAll(server.get(), request.data(), request.size())) {
                return;
            }
            struct stat info {};
            if (statPath != nullptr && ::lstat(statPath, &info) != 0) {
                return;
            }
            if (!sendAll(server.get(), reply.data(), reply.size())) {
                return;
            }
        }
    };
    // The echo runs where the real server would: in a process of its own, or as a thread.
    pid_t child = -1;
    std::thread echo;
    if (otherProcess) {
        child = ::fork();
        if (child == 0) {
            answer();
            ::_exit(0);
        }
    } else {
        echo = std::thread(answer);
    }
    std::vector<char> request(static_cast<size_t>(requestBytes), 'q');
    std::vector<char> reply(static_cast<size_t>(replyBytes));
    uint64_t start = nowNs();
    int done = 0;
    for (; done < count; ++done) {
        if (!sendAll(client.get(), request.data(), request.size()) ||
            !recvAll(client.get(), reply.data(), reply.size())) {
            break;
        }
    }
    double seconds = secondsSince(start);
    if (echo.joinable()) {
        echo.join();
    }
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    return done == count ? count / seconds : 0;
}

int localWalk(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int entries = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            ++entries;
        }
    }
    ::closedir(dir);
    return entries;
}

int freePort() {
    CFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool waitForPort(int port, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        CFd fd(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address = loopback(port);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool pinToCpu(pid_t pid, int cpu) {
    if (cpu < 0 || cpu >= CPU_SETSIZE ||
        cpu >= static_cast<int>(std::thread::hardware_concurrency())) {
        return false;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    const std::string tasks =
        pid == 0 ? std::string("/proc/self/task") : "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    bool all = true;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        const pid_t thread = static_cast<pid_t>(std::stol(task.path().filename().string()));
        all = ::sched_setaffinity(thread, sizeof set, &set) == 0 && all;
    }
    return !error && all;
}

CServerProcess::CServerProcess(const std::string& program, const std::string& root, int port) {
    std::vector<std::string> args = {
        program, "--demo", root, "--listen", "127.0.0.1", "--port", std::to_string(port),
        // The service servers on free ports: a benchmark must not need their fixed ones.
        "--auth-port", "0", "--diskinfo-port", "0", "--quiet"};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
}

CServerProcess::~CServerProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

} // namespace bench
