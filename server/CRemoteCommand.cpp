#include "server/CRemoteCommand.h"

#include "server/CCommandKeeper.h"
#include "server/CFileDescriptor.h"

#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tavik::server {

namespace {

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
    CCommandKeeper keeper;
    if (!keeper.start(words, folderFd, writeEnd.get())) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    writeEnd.reset();
    Output output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The output may end long before the program does (it can close it and go on running):
    // the wait for its end has the same deadline. When the output is still open at the
    // deadline, the keeper ends everything at once.
    const bool drained = collect(readEnd.get(), deadline, maxOutput, output);
    const CCommandKeeper::Report report =
        keeper.finish(drained ? deadline : std::chrono::steady_clock::now());
    if (!report.started) {
        return Result::fail(TAVIK_ERR_REMOTE_FILE);
    }
    output.timedOut = !report.ended;
    output.exitCode = report.ended ? report.exitCode : -1;
    if (output.truncated) {
        output.text += kCutMarker;
    }
    if (output.timedOut) {
        output.text += kTimeoutMarker;
    }
    return Result::ok(std::move(output));
}

} // namespace tavik::server
