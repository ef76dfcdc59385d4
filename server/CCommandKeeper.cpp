#include "server/CCommandKeeper.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavik::server {

namespace {

using Clock = std::chrono::steady_clock;

// Everything the keeper needs, prepared before the fork: after it, the keeper may not take a
// lock another thread of the server held (the allocator's among them).
struct KeeperArgs {
    char* const* argv;
    int devNull;
    int folderFd;
    int outputFd;
    int reportFd;
    pid_t server;
    sigset_t signals; // SIGCHLD and SIGTERM, taken with sigwaitinfo
};

// Closes every descriptor from 3 on except the given ones.
void closeAllBut(std::array<int, 4> keep) {
    std::sort(keep.begin(), keep.end());
    unsigned from = 3;
    const auto closeRange = [](unsigned first, unsigned last) {
        if (first > last || ::close_range(first, last, 0) == 0) {
            return;
        }
        rlimit limit{};
        const unsigned top =
            ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                ? static_cast<unsigned>(limit.rlim_cur)
                : 65536U;
        for (unsigned fd = first; fd <= last && fd < top; ++fd) {
            ::close(static_cast<int>(fd));
        }
    };
    for (const int fd : keep) {
        if (fd >= 0 && static_cast<unsigned>(fd) >= from) {
            closeRange(from, static_cast<unsigned>(fd) - 1);
            from = static_cast<unsigned>(fd) + 1;
        }
    }
    closeRange(from, ~0U);
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Bytes read until size or the end of input.
size_t readAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

[[noreturn]] void runProgram(const KeeperArgs& args, const sigset_t& original, int execError) {
    ::sigprocmask(SIG_SETMASK, &original, nullptr);
    // A process group of its own, so that the program's ordinary helpers go with one kill.
    ::setpgid(0, 0);
    ::dup2(args.devNull, 0);
    ::dup2(args.outputFd, 1);
    ::dup2(args.outputFd, 2);
    if (::fchdir(args.folderFd) == 0) {
        ::execvp(args.argv[0], args.argv);
    }
    const int error = errno;
    writeAll(execError, &error, sizeof error);
    ::_exit(127);
}

void killOne(pid_t pid) {
    if (::getpgid(pid) == pid) {
        ::kill(-pid, SIGKILL);
    }
    ::kill(pid, SIGKILL);
}

// Kills every child the keeper has now: the program and the orphans of its tree.
void killChildren() {
    // "/proc/self/task/<pid>/children": the keeper has one thread, whose id is its pid.
    char path[64] = "/proc/self/task/";
    char digits[16];
    int count = 0;
    for (pid_t pid = ::getpid(); pid > 0; pid /= 10) {
        digits[count++] = static_cast<char>('0' + pid % 10);
    }
    size_t at = sizeof "/proc/self/task/" - 1;
    while (count > 0) {
        path[at++] = digits[--count];
    }
    const char tail[] = "/children";
    for (const char c : tail) {
        path[at++] = c;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char buffer[4096];
    pid_t pid = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] >= '0' && buffer[i] <= '9') {
                pid = pid * 10 + (buffer[i] - '0');
            } else if (pid > 0) {
                killOne(pid);
                pid = 0;
            }
        }
    }
    if (pid > 0) {
        killOne(pid);
    }
    ::close(fd);
}

// Waits for the program's end (leaving it unreaped) or for SIGTERM.
void waitForProgram(pid_t program, const sigset_t& signals, CCommandKeeper::Report& report) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == program) {
            report.ended = true;
            report.exitCode = info.si_code == CLD_EXITED ? info.si_status : -1;
            return;
        }
        if (::sigwaitinfo(&signals, nullptr) == SIGTERM) {
            return;
        }
    }
}

// Kills and reaps the whole tree. Every orphan becomes the keeper's child, so the tree is gone
// when the keeper has no child left.
void endTree(pid_t program) {
    // The program is not reaped yet (a zombie at most), so its group id cannot belong to anyone
    // else.
    ::kill(-program, SIGKILL);
    ::kill(program, SIGKILL);
    for (;;) {
        int status = 0;
        pid_t gone = 0;
        while ((gone = ::waitpid(-1, &status, WNOHANG)) > 0) {
        }
        if (gone < 0 && errno == ECHILD) {
            return;
        }
        killChildren();
        if (::waitpid(-1, &status, 0) < 0 && errno == ECHILD) {
            return;
        }
    }
}

[[noreturn]] void runKeeper(const KeeperArgs& args) {
    closeAllBut({args.devNull, args.folderFd, args.outputFd, args.reportFd});
    sigset_t original;
    ::sigprocmask(SIG_BLOCK, &args.signals, &original);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    // A server that goes away leaves no command behind: SIGTERM ends the tree as at a deadline.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    CCommandKeeper::Report report;
    int execError[2];
    if (::getppid() == args.server && ::pipe2(execError, O_CLOEXEC) == 0) {
        const pid_t program = ::fork();
        if (program == 0) {
            runProgram(args, original, execError[1]);
        }
        ::close(execError[1]);
        if (program > 0) {
            int error = 0;
            // Nothing to read: the program's exec closed the pipe, so it runs.
            report.started = readAll(execError[0], &error, sizeof error) == 0;
            ::close(args.outputFd);
            ::close(args.devNull);
            if (report.started) {
                waitForProgram(program, args.signals, report);
            }
            endTree(program);
        }
        ::close(execError[0]);
    }
    writeAll(args.reportFd, &report, sizeof report);
    ::_exit(0);
}

} // namespace

CCommandKeeper::~CCommandKeeper() {
    if (keeper_ > 0) {
        ::kill(keeper_, SIGTERM);
        while (::waitpid(keeper_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool CCommandKeeper::start(const std::vector<std::string>& words, int folderFd, int outputFd) {
    if (words.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    CFileDescriptor devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int ends[2];
    if (!devNull.valid() || ::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    CFileDescriptor reportRead(ends[0]);
    CFileDescriptor reportWrite(ends[1]);
    KeeperArgs args{argv.data(),       devNull.get(), folderFd, outputFd,
                    reportWrite.get(), ::getpid(),    {}};
    sigemptyset(&args.signals);
    sigaddset(&args.signals, SIGCHLD);
    sigaddset(&args.signals, SIGTERM);
    const pid_t pid = ::fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        runKeeper(args);
    }
    keeper_ = pid;
    report_ = std::move(reportRead);
    return true;
}

CCommandKeeper::Report CCommandKeeper::finish(Clock::time_point deadline) {
    Report report;
    report.started = true; // a keeper that died without a word: its program was running
    bool told = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{report_.get(), POLLIN, 0};
        const int wait = told ? -1 : static_cast<int>(std::max<int64_t>(0, left.count()));
        const int ready = ::poll(&entry, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0) {
            Report received;
            if (readAll(report_.get(), &received, sizeof received) == sizeof received) {
                report = received;
            }
            break;
        }
        if (told) {
            break;
        }
        // The deadline passed: the keeper ends the tree and then reports.
        ::kill(keeper_, SIGTERM);
        told = true;
    }
    while (::waitpid(keeper_, nullptr, 0) < 0 && errno == EINTR) {
    }
    keeper_ = -1;
    return report;
}

} // namespace tavik::server
