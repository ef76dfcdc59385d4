// A program run by a test: started with posix_spawn, its standard output and error collected
// through pipes, its standard input fed from a string (or /dev/null), and every wait bounded.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavik::test {

class CChildProcess {
public:
    struct Outcome {
        int exitCode = -1; // the exit status, or 128 + signal; -1 when it had to be killed
        std::string out;
        std::string err;
        bool timedOut = false;
    };

    // env: variables to set (an empty value removes the variable) on top of this process's.
    // Output that is not read goes to a file, so a program that writes a lot never blocks.
    CChildProcess(const std::vector<std::string>& argv,
                  const std::map<std::string, std::string>& env,
                  const std::optional<std::string>& input = std::nullopt,
                  const std::string& stderrFile = "");
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Sends a signal (while the program runs).
    void signal(int number);
    // Collects the output until the program ends; kills it after the time limit.
    Outcome wait(std::chrono::milliseconds limit = std::chrono::seconds(60));

    // Start, wait, collect: the usual case.
    static Outcome run(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& env,
                       const std::optional<std::string>& input = std::nullopt);

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_reaped = false;
};

} // namespace tavik::test
