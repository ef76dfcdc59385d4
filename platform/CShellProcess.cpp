#include "platform/CShellProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavik::platform {

namespace {

constexpr size_t kMaxOutput = 64 * 1024;
// The shell that detaches a program exits at once; this only bounds a broken system.
constexpr int kDetachTimeoutMs = 10000;

using Clock = std::chrono::steady_clock;

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// An fd closed when the object goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// posix_spawn's attribute and file-action objects, destroyed with the scope.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        // The child starts with no blocked signals and default handlers for the usual ones,
        // whatever the host program has set for itself.
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    void setFlags(short flags) { posix_spawnattr_setflags(&attributes, flags); }
};

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// The inherited environment with settings ("NAME=value") replacing or adding entries.
std::vector<std::string> environmentWith(const std::vector<std::string>& settings) {
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& setting : settings) {
            replaced = replaced || setting.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            environment.push_back(std::move(text));
        }
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    return environment;
}

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the child until the deadline: its exit status, -1 when it died of a signal or its
// status was taken by someone else, -2 when the deadline passed first.
int waitUntil(pid_t child, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 && errno != EINTR) {
            // Reaped elsewhere (SIGCHLD ignored by the host program): its status is lost.
            return -1;
        }
        if (millisecondsLeft(deadline) == 0) {
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void killAndReap(pid_t child) {
    ::kill(child, SIGKILL);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::string CShellProcess::findProgram(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return isExecutableFile(name) ? name : std::string();
    }
    const char* variable = std::getenv("PATH");
    std::string path = variable != nullptr ? variable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string folder = path.substr(start, end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

CShellProcess::Outcome CShellProcess::run(const std::string& program,
                                          const std::vector<std::string>& args,
                                          const std::string& input, int timeoutMs,
                                          const std::vector<std::string>& settings) {
    Outcome outcome;
    // Standard input is a socket so that writing to a program that has already gone away
    // fails with EPIPE instead of raising SIGPIPE in the host program.
    int inputPair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0) {
        return outcome;
    }
    Fd inputParent{inputPair[0]};
    Fd inputChild{inputPair[1]};
    int outputPipe[2] = {-1, -1};
    if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
        return outcome;
    }
    Fd outputParent{outputPipe[0]};
    Fd outputChild{outputPipe[1]};

    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, inputChild.fd, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, outputChild.fd, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, outputChild.fd, 2);
    setup.setFlags(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv = argumentVector(program, args);
    pid_t child = -1;
    std::vector<std::string> environment = environmentWith(settings);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    if (posix_spawn(&child, program.c_str(), &setup.actions, &setup.attributes, argv.data(),
                    envp.data()) != 0) {
        return outcome;
    }
    outcome.started = true;
    inputChild.reset();
    outputChild.reset();

    // Input and output move together, so that neither side can block the other: a program
    // that writes before it reads, or never reads at all, still ends or meets the deadline.
    ::fcntl(inputParent.fd, F_SETFL, O_NONBLOCK);
    ::fcntl(outputParent.fd, F_SETFL, O_NONBLOCK);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    if (input.empty()) {
        inputParent.reset();
    }
    bool outputOpen = true;
    char chunk[4096];
    while (outputOpen && millisecondsLeft(deadline) > 0) {
        pollfd watched[2] = {{outputParent.fd, POLLIN, 0}, {inputParent.fd, POLLOUT, 0}};
        int ready =
            ::poll(watched, inputParent.fd >= 0 ? 2 : 1, std::min(millisecondsLeft(deadline), 100));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (inputParent.fd >= 0 && watched[1].revents != 0) {
            ssize_t n =
                ::send(inputParent.fd, input.data() + sent, input.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            }
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == input.size()) {
                inputParent.reset();
            }
        }
        if (watched[0].revents != 0) {
            ssize_t n = ::read(outputParent.fd, chunk, sizeof(chunk));
            if (n > 0) {
                size_t keep = std::min(static_cast<size_t>(n), kMaxOutput - outcome.output.size());
                outcome.output.append(chunk, keep);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                outputOpen = false; // the program has closed its output, normally by ending
            }
        }
    }
    inputParent.reset();
    int status = waitUntil(child, deadline);
    if (status == -2) {
        killAndReap(child);
        outcome.timedOut = true;
        return outcome;
    }
    outcome.exitStatus = status;
    return outcome;
}

int CShellProcess::startDetached(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& folder) {
    // A shell starts the program in the background and ends at once, so the program becomes
    // a child of init and nobody has to wait for it.
    static const std::string shell = "/bin/sh";
    std::vector<std::string> shellArgs = {"-c", "\"$0\" \"$@\" &", program};
    shellArgs.insert(shellArgs.end(), args.begin(), args.end());

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    }
    setup.setFlags(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    std::vector<char*> argv = argumentVector(shell, shellArgs);
    pid_t child = -1;
    int err =
        posix_spawn(&child, shell.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    if (err != 0) {
        return err;
    }
    int status = waitUntil(child, Clock::now() + std::chrono::milliseconds(kDetachTimeoutMs));
    if (status == -2) {
        killAndReap(child);
        return ETIMEDOUT;
    }
    // The shell itself hardly fails: posix_spawn has already reported a folder it could not
    // enter. A status lost to the host program's own SIGCHLD handling counts as started.
    return status > 0 ? ENOEXEC : 0;
}

} // namespace tavik::platform
