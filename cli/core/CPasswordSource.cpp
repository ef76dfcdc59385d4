#include "cli/core/CPasswordSource.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sys/wait.h>

namespace tavik::cli {

namespace {

std::string firstLine(std::string text) {
    const size_t end = text.find('\n');
    if (end != std::string::npos) {
        text.resize(end);
    }
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}

std::string expandHome(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (path.rfind("~/", 0) == 0 && home != nullptr) {
        return std::string(home) + path.substr(1);
    }
    return path;
}

struct PipeCloser {
    void operator()(FILE* pipe) const {
        if (pipe != nullptr) {
            pclose(pipe);
        }
    }
};

} // namespace

std::optional<std::string> CPasswordSource::fromFile(const std::string& path, std::string* why) {
    const std::string real = expandHome(path);
    std::ifstream in(real);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof())) {
        *why = "cannot read the password file " + real + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return firstLine(line);
}

std::optional<std::string> CPasswordSource::fromCommand(const std::string& command,
                                                        std::string* why) {
    FILE* raw = popen(command.c_str(), "r");
    if (raw == nullptr) {
        *why = "cannot run the password command: " + std::string(std::strerror(errno));
        return std::nullopt;
    }
    std::unique_ptr<FILE, PipeCloser> pipe(raw);
    std::string output;
    char block[4096];
    for (size_t got; (got = fread(block, 1, sizeof block, raw)) > 0;) {
        output.append(block, got);
    }
    const int status = pclose(pipe.release());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why = "the password command \"" + command + "\" failed (exit status " +
               std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : status) + ")";
        return std::nullopt;
    }
    return firstLine(output);
}

} // namespace tavik::cli
