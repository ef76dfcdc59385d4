// The reference measurements of the benchmarks and the plumbing they share: a loopback TCP
// stream and ping-pong between two sockets of this process, a local folder walk, and a
// tavik-server child process.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace bench {

// The word after "--name" on the command line, or null when the option is not there.
const char* option(int argc, char** argv, const char* name);

double secondsSince(uint64_t startNs);
uint64_t nowNs();

// Writes size bytes of a repeating pattern into path.
bool makeFile(const std::string& path, uint64_t size);
bool filesEqual(const std::string& a, const std::string& b);

// Streams the file at source through a loopback TCP connection in 64 KiB blocks (sender
// thread: read, send; receiver: wait for readiness, receive, write to destination). Returns the
// bytes per second, or 0 on failure.
double rawStreamRate(const std::string& source, const std::string& destination);

// Request/reply ping-pong of fixed sizes over a loopback TCP connection (TCP_NODELAY on both
// ends), the answering end in a thread of this process or, like a real server, in a process of
// its own. With a statPath the answering end also lstats that file before each reply, the one
// piece of file-system work a size request needs. Returns round trips per second.
double rawPingPongRate(int requestBytes, int replyBytes, int count, bool otherProcess,
                       const char* statPath = nullptr);

// Reads the folder and stats every entry, as a listing server must. Returns the entries seen.
int localWalk(const std::string& folder);

// A tavik-server serving one folder on 127.0.0.1:port; stopped when destroyed.
class CServerProcess {
public:
    CServerProcess(const std::string& program, const std::string& root, int port);
    ~CServerProcess();
    CServerProcess(const CServerProcess&) = delete;
    CServerProcess& operator=(const CServerProcess&) = delete;
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Binds every thread of the process (0: this one) to one CPU, and so the threads they start
// later. Two processes that stream to each other over loopback each get a CPU of their own this
// way, instead of taking turns on one whenever the scheduler puts them together. False when the
// machine has fewer CPUs or the kernel refuses.
bool pinToCpu(pid_t pid, int cpu);

// A free TCP port on 127.0.0.1 (bound and released).
int freePort();
bool waitForPort(int port, int timeoutMs);

} // namespace bench
