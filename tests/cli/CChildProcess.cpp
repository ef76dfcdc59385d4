#include "tests/cli/CChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavik::test {

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e != nullptr; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq != nullptr) {
            all[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
        }
    }
    for (const auto& [name, value] : env) {
        if (value.empty()) {
            all.erase(name);
        } else {
            all[name] = value;
        }
    }
    std::vector<std::string> out;
    for (const auto& [name, value] : all) {
        out.push_back(name + "=" + value);
    }
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

} // namespace

CChildProcess::CChildProcess(const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& env,
                             const std::optional<std::string>& input,
                             const std::string& stderrFile) {
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        return;
    }
    // Input goes through a file: a pipe could fill before the program reads it.
    std::string inputPath = "/dev/null";
    char inputTemplate[] = "/tmp/tavik-cli-input-XXXXXX";
    if (input) {
        const int fd = mkstemp(inputTemplate);
        if (fd >= 0) {
            const ssize_t written = ::write(fd, input->data(), input->size());
            (void)written;
            ::close(fd);
            inputPath = inputTemplate;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    if (stderrFile.empty()) {
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<std::string> args = argv;
    std::vector<std::string> vars = mergedEnvironment(env);
    auto argp = pointers(args);
    auto envp = pointers(vars);
    if (posix_spawn(&m_pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_out = outPipe[0];
    m_err = errPipe[0];
    if (input) {
        ::unlink(inputTemplate); // the program holds it open already
    }
}

CChildProcess::~CChildProcess() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        ::close(m_out);
    }
    if (m_err >= 0) {
        ::close(m_err);
    }
}

void CChildProcess::signal(int number) {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, number);
    }
}

CChildProcess::Outcome CChildProcess::wait(std::chrono::milliseconds limit) {
    Outcome outcome;
    if (m_pid <= 0) {
        outcome.err = "could not start the program";
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            ::kill(m_pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{outOpen ? m_out : -1, POLLIN, 0}, {errOpen ? m_err : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_reaped = true;
    outcome.exitCode = outcome.timedOut ? -1 : exitCodeOf(status);
    return outcome;
}

CChildProcess::Outcome CChildProcess::run(const std::vector<std::string>& argv,
                                          const std::map<std::string, std::string>& env,
                                          const std::optional<std::string>& input) {
    CChildProcess child(argv, env, input);
    return child.wait();
}

} // namespace tavik::test
