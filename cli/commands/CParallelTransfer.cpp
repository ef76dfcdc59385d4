#include "cli/commands/CParallelTransfer.h"

#include "cli/commands/CDiskSession.h"
#include "cli/commands/CTransferMonitor.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <poll.h>
#include <sstream>
#include <streambuf>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavik::cli {

namespace {

// Writes whatever it is given to a file descriptor in whole lines: one write per line.
class CLineBuffer : public std::streambuf {
public:
    explicit CLineBuffer(int fd) : m_fd(fd) {}
    ~CLineBuffer() override { flushLine(); }
    CLineBuffer(const CLineBuffer&) = delete;
    CLineBuffer& operator=(const CLineBuffer&) = delete;

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            m_line.push_back(static_cast<char>(c));
            if (c == '\n') {
                flushLine();
            }
        }
        return c;
    }
    int sync() override {
        flushLine();
        return 0;
    }

private:
    void flushLine() {
        for (size_t at = 0; at < m_line.size();) {
            const ssize_t wrote = ::write(m_fd, m_line.data() + at, m_line.size() - at);
            if (wrote <= 0 && errno != EINTR) {
                break;
            }
            at += wrote > 0 ? static_cast<size_t>(wrote) : 0;
        }
        m_line.clear();
    }
    int m_fd;
    std::string m_line;
};

// A counter in memory shared with the forked workers: the index of the next job to take.
class CSharedCounter {
public:
    CSharedCounter() {
        void* memory = mmap(nullptr, sizeof(std::atomic<uint32_t>), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED) {
            m_next = new (memory) std::atomic<uint32_t>(0);
        }
    }
    ~CSharedCounter() {
        if (m_next != nullptr) {
            munmap(m_next, sizeof(std::atomic<uint32_t>));
        }
    }
    CSharedCounter(const CSharedCounter&) = delete;
    CSharedCounter& operator=(const CSharedCounter&) = delete;
    bool ok() const { return m_next != nullptr; }
    uint32_t take() { return m_next->fetch_add(1); }

private:
    std::atomic<uint32_t>* m_next = nullptr;
};

// The file descriptor of a pipe's end, closed once.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Fd& operator=(Fd&&) = delete;
    Fd(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// A worker: its own session, its errors whole lines on standard error, its outcomes on `out`.
[[noreturn]] void work(const Invocation& inv, CTreeTransfer& tree,
                       const std::vector<CTreeTransfer::Job>& jobs, CSharedCounter& next, int out) {
    int status = 0;
    {
        CLineBuffer errLines(STDERR_FILENO);
        std::ostream err(&errLines);
        CLineBuffer wireLines(out);
        std::ostream wire(&wireLines);
        std::istringstream noInput;
        CConsole console{noInput, wire, err};
        std::string error;
        auto session = CDiskSession::open(inv, &error);
        if (!session) {
            err << error << '\n';
            status = 1;
        } else {
            CFileReport report(wire, err, CFileReport::Mode::Wire, true);
            CTransferMonitor monitor(console, inv.existing, true); // no bar, no questions
            tree.rebind(*session, console, monitor, report);
            for (uint32_t i = next.take(); i < jobs.size() && !tree.cancelled(); i = next.take()) {
                tree.runJob(jobs[i]);
            }
        }
    }
    // The parent's session lives in this copy of its memory too: leave it alone (its
    // destructor would log the parent's connection out).
    _exit(status);
}

// Reads what the workers write until every pipe ends, recording each outcome.
size_t collect(std::vector<Fd>& pipes, CFileReport& report) {
    std::vector<std::string> buffers(pipes.size());
    size_t received = 0;
    for (size_t open = pipes.size(); open > 0;) {
        std::vector<pollfd> waits;
        std::vector<size_t> which;
        for (size_t i = 0; i < pipes.size(); ++i) {
            if (pipes[i].fd >= 0) {
                waits.push_back({pipes[i].fd, POLLIN, 0});
                which.push_back(i);
            }
        }
        if (::poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) {
            break;
        }
        for (size_t k = 0; k < waits.size(); ++k) {
            if (waits[k].revents == 0) {
                continue;
            }
            const size_t i = which[k];
            char block[8192];
            const ssize_t got = ::read(pipes[i].fd, block, sizeof block);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                pipes[i].reset();
                --open;
                continue;
            }
            buffers[i].append(block, static_cast<size_t>(got));
            while (auto outcome = CFileReport::decode(buffers[i])) {
                report.record(*outcome);
                ++received;
            }
        }
    }
    return received;
}

} // namespace

void CParallelTransfer::run(const Invocation& inv, CTreeTransfer& tree,
                            const std::vector<CTreeTransfer::Job>& jobs, int workers,
                            CConsole& console, CFileReport& report) {
    const size_t count = std::min<size_t>(static_cast<size_t>(std::max(workers, 1)), jobs.size());
    CSharedCounter next;
    if (count <= 1 || !next.ok()) {
        for (const CTreeTransfer::Job& job : jobs) {
            if (tree.cancelled()) {
                break;
            }
            tree.runJob(job);
        }
        return;
    }
    console.out.flush();
    console.err.flush();
    std::vector<Fd> pipes;
    std::vector<pid_t> children;
    for (size_t w = 0; w < count; ++w) {
        int ends[2];
        if (::pipe(ends) != 0) {
            break;
        }
        Fd readEnd(ends[0]);
        Fd writeEnd(ends[1]);
        const pid_t pid = ::fork();
        if (pid == 0) {
            readEnd.reset();
            for (Fd& other : pipes) {
                other.reset();
            }
            work(inv, tree, jobs, next, writeEnd.fd);
        }
        if (pid > 0) {
            children.push_back(pid);
            pipes.push_back(std::move(readEnd));
        }
    }
    const size_t received = collect(pipes, report);
    for (pid_t pid : children) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (received < jobs.size() && !tree.cancelled()) {
        // Files no worker reported on: a worker could not log in, or ended before its file did.
        for (size_t i = received; i < jobs.size(); ++i) {
            FileOutcome lost;
            lost.status = FileOutcome::Status::Failed;
            lost.error = "not transferred: a worker ended before reporting it";
            report.record(lost);
        }
        console.err << "tavik: " << inv.command << ": " << (jobs.size() - received)
                    << " file(s) not transferred: a worker ended early (see above)\n";
    }
}

} // namespace tavik::cli
