#include "server/CRemoteCommand.h"

#include "server/CFileDescriptor.h"

#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavik::server {

namespace {

class CSpawnActions {
public:
    CSpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~CSpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Reads the child's output until it closes the pipe or the deadline passes; false on time-out.
bool collect(int fd, std::chrono::steady_clock::time_point deadline, size_t maxOutput,
             CRemoteCommand::Output& output) {
    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return true;
        }
        const size_t room = maxOutput - std::min(maxOutput, output.text.size());
        output.text.append(buffer, std::min(room, static_cast<size_t>(n)));
        output.truncated = output.truncated || static_cast<size_t>(n) > room;
    }
}

class CSpawnAttributes {
public:
    CSpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~CSpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    CSpawnAttributes(const CSpawnAttributes&) = delete;
    CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

// Waits for the child to end until the deadline; false when it still runs then. The child is
// left unreaped (a zombie keeps its process group id from being reused until the group is
// killed).
bool waitUntil(pid_t child, std::chrono::steady_clock::time_point deadline, int& exitCode) {
    for (;;) {
        siginfo_t info{};
        const int rc =
            ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
        if (rc == 0 && info.si_pid == child) {
            exitCode = info.si_code == CLD_EXITED ? info.si_status : -1;
            return true;
        }
        if (rc < 0 && errno != EINTR) {
            return true; // not ours to wait for any more
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

std::vector<std::string> CRemoteCommand::splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

bool CRemoteCommand::allowed(const std::vector<std::string>& words,
                             const std::vector<std::string>& allowList) {
    if (words.empty()) {
        return false;
    }
    return std::find(allowList.begin(), allowList.end(), words.front()) != allowList.end();
}

Outcome<CRemoteCommand::Output> CRemoteCommand::run(const std::vector<std::string>& words,
                                                    int folderFd, int timeoutMs, size_t maxOutput) {
    using Result = Outcome<Output>;
    int pipeEnds[2];
    if (words.empty() || ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    CFileDescriptor readEnd(pipeEnds[0]);
    CFileDescriptor writeEnd(pipeEnds[1]);
    CSpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 1);
    ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 2);
    ::posix_spawn_file_actions_addfchdir_np(actions.get(), folderFd);
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    // A process group of its own: at the deadline the whole group goes, helpers included.
    CSpawnAttributes attributes;
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(attributes.get(), 0);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], actions.get(), attributes.get(), argv.data(), environ) !=
        0) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    writeEnd.reset();
    Output output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The output may end long before the program does (it can close it and go on running):
    // the wait for its end has the same deadline.
    const bool ended = collect(readEnd.get(), deadline, maxOutput, output) &&
                       waitUntil(child, deadline, output.exitCode);
    output.timedOut = !ended;
    // Whatever is left of the group (the program at its deadline, helpers it left behind)
    // is killed, and the program reaped.
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) {
        output.exitCode = -1;
    }
    if (output.truncated) {
        output.text += kCutMarker;
    }
    if (output.timedOut) {
        output.text += kTimeoutMarker;
    }
    return Result::ok(std::move(output));
}

} // namespace tavik::server
