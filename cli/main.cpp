// tavik: the command-line client of the remote disk. See CCommandLine.h for the commands.
#include "cli/commands/CCommandRunner.h"
#include "cli/core/CCommandLine.h"
#include "cli/core/CCompletion.h"

#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int terminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace tavik::cli;
    std::ios::sync_with_stdio(false);
    if (argc > 1 && std::string(argv[1]) == CCompletion::kCommand) {
        CConsole console{std::cin, std::cout, std::cerr};
        return CCommandRunner::complete(std::vector<std::string>(argv + 2, argv + argc), console);
    }
    const ParseOutcome parsed =
        CCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.invocation) {
        std::cout << parsed.out;
        std::cerr << parsed.err;
        return parsed.exitCode;
    }
    std::cerr << parsed.err; // a warning about the command line
    CConsole console{std::cin, std::cout, std::cerr};
    console.inIsTerminal = isatty(STDIN_FILENO) != 0;
    console.errIsTerminal = isatty(STDERR_FILENO) != 0;
    console.columns = terminalColumns(STDERR_FILENO);
    const int status = CCommandRunner::run(*parsed.invocation, console);
    std::cout.flush();
    return status;
}
