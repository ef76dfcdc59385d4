// tavik-server: serves folders of this machine as remote disks.
//
//   tavik-server --config server.toml [--allow-open]
//   tavik-server --demo DIR [--id demo] [--listen 127.0.0.1] [--port 9553] [--allow-open]
//   tavik-server hash-password
//
// Exit status: 0 after a clean stop, 1 when the configuration is refused or the server cannot
// listen, 2 for a usage error.
#include "server/CCommandHandlers.h"
#include "server/CPasswordHash.h"
#include "server/CServer.h"
#include "server/CServerConfig.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <malloc.h>
#include <optional>
#include <pthread.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string configFile;
    std::string demoFolder;
    std::string demoId = "demo";
    std::string listen;
    int port = -1;
    bool quiet = false;
    bool allowOpen = false;
};

std::optional<tavik::server::CServerConfig> loadConfig(const Options& options) {
    std::string error;
    std::optional<tavik::server::CServerConfig> config;
    if (!options.demoFolder.empty()) {
        config = tavik::server::CServerConfig::demo(options.demoFolder, options.demoId, error);
    } else {
        config = tavik::server::CServerConfig::fromFile(options.configFile, error);
    }
    if (!config) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return std::nullopt;
    }
    if (!options.listen.empty()) {
        config->address = options.listen;
    }
    if (options.port >= 0) {
        config->port = static_cast<uint16_t>(options.port);
    }
    config->logCommands = config->logCommands && !options.quiet;
    return config;
}

// A disk without a password on an address other machines reach is served only on request.
bool openDisksAllowed(const tavik::server::CServerConfig& config, bool allowOpen) {
    const auto* open = config.openDiskExposed();
    if (open == nullptr || allowOpen) {
        return true;
    }
    std::fprintf(stderr,
                 "tavik-server: disk \"%s\" has no password and %s is not a loopback address; "
                 "give it a password or start with --allow-open\n",
                 open->id.c_str(), config.address.c_str());
    return false;
}

// A long-running server keeps the memory of its listing replies instead of mapping it fresh for
// every request: touching new pages cost a listing more than building it.
void keepPacketMemory() {
    ::mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    ::mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

// Reads one line from stdin; on a terminal the typing is not shown.
bool readSecretLine(const char* prompt, std::string& line) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return got;
}

int hashPassword() {
    std::string password;
    if (!readSecretLine("Password: ", password) || password.empty()) {
        std::fprintf(stderr, "tavik-server: no password given\n");
        return kExitRefused;
    }
    if (::isatty(STDIN_FILENO) == 1) {
        std::string again;
        if (!readSecretLine("Again: ", again) || again != password) {
            std::fprintf(stderr, "tavik-server: the two passwords differ\n");
            return kExitRefused;
        }
    }
    const auto hash = tavik::server::CPasswordHash::hash(password);
    if (!hash) {
        std::fprintf(stderr, "tavik-server: cannot hash the password (out of memory?)\n");
        return kExitRefused;
    }
    std::printf("%s\n", hash->c_str());
    return 0;
}

// Runs until SIGINT or SIGTERM. SIGHUP is ignored (logged): the configuration is read once,
// at start, and a changed one takes effect on restart.
int serve(const tavik::server::CServerConfig& config) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    // Blocked before any thread starts, so that no connection thread receives them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    tavik::server::CServer server(config);
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return kExitRefused;
    }
    for (const std::string& warning : server.warnings()) {
        std::fprintf(stderr, "tavik-server: warning: %s\n", warning.c_str());
    }
    std::fprintf(stderr, "tavik-server: listening on %s:%u\n", config.address.c_str(),
                 static_cast<unsigned>(server.port()));
    int received = 0;
    while (sigwait(&signals, &received) == 0 && received == SIGHUP) {
        std::fprintf(stderr, "tavik-server: SIGHUP ignored; restart to apply a changed "
                             "configuration\n");
    }
    std::fprintf(stderr, "tavik-server: stopping (signal %d)\n", received);
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    keepPacketMemory();
    CLI::App app{"tavik-server: serves folders of this machine as remote disks"};
    app.set_version_flag("--version", tavik::server::CCommandHandlers::kVersionText);
    Options options;
    auto* config = app.add_option("-c,--config", options.configFile, "configuration file (TOML)");
    auto* demo = app.add_option("--demo", options.demoFolder,
                                "serve this folder as one disk, without a configuration file");
    config->excludes(demo);
    app.add_option("--id", options.demoId, "disk id of the --demo disk")->needs(demo);
    app.add_option("--listen", options.listen, "IPv4 address to listen on");
    app.add_option("-p,--port", options.port, "TCP port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("-q,--quiet", options.quiet, "no log line per command");
    app.add_flag("--allow-open", options.allowOpen,
                 "serve disks without a password on a non-loopback address");
    auto* hash = app.add_subcommand(
        "hash-password", "read a password from stdin (not echoed) and print its hash for the "
                         "configuration's password key");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done); // --help, --version
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }
    if (hash->parsed()) {
        return hashPassword();
    }
    if (options.configFile.empty() && options.demoFolder.empty()) {
        std::fprintf(stderr, "tavik-server: give --config FILE or --demo DIR\n");
        return kExitUsage;
    }
    const auto loaded = loadConfig(options);
    if (!loaded || !openDisksAllowed(*loaded, options.allowOpen)) {
        return kExitRefused;
    }
    for (const std::string& warning : loaded->warnings) {
        std::fprintf(stderr, "tavik-server: warning: %s\n", warning.c_str());
    }
    return serve(*loaded);
}
