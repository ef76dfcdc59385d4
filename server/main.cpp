// tavik-server: serves folders of this machine as remote disks.
//
//   tavik-server --config server.toml
//   tavik-server --demo DIR [--id demo] [--listen 127.0.0.1] [--port 9553]
#include "server/CServer.h"
#include "server/CServerConfig.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <malloc.h>
#include <optional>
#include <pthread.h>
#include <string>

namespace {

struct Options {
    std::string configFile;
    std::string demoFolder;
    std::string demoId = "demo";
    std::string listen;
    int port = -1;
    bool quiet = false;
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

} // namespace

namespace {

// A listing reply and its buffers take about a megabyte for a few milliseconds. By default such
// blocks are mapped fresh for every request and given back afterwards, and touching the new pages
// cost a listing more than building it. A long-running server keeps them instead.
void keepPacketMemory() {
    ::mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    ::mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

} // namespace

int main(int argc, char** argv) {
    keepPacketMemory();
    CLI::App app{"tavik-server: serves folders of this machine as remote disks"};
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
    CLI11_PARSE(app, argc, argv);
    if (options.configFile.empty() && options.demoFolder.empty()) {
        std::fprintf(stderr, "tavik-server: give --config FILE or --demo DIR\n");
        return 2;
    }
    const auto loaded = loadConfig(options);
    if (!loaded) {
        return 1;
    }
    // SIGINT and SIGTERM are taken by sigwait below: blocked before any thread starts, so
    // that no connection thread receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    tavik::server::CServer server(*loaded);
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "tavik-server: listening on %s:%u\n", loaded->address.c_str(),
                 static_cast<unsigned>(server.port()));
    int received = 0;
    sigwait(&stopSignals, &received);
    std::fprintf(stderr, "tavik-server: stopping (signal %d)\n", received);
    server.stop();
    return 0;
}
