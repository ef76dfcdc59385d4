// tavik-server: serves folders of this machine as remote disks.
//
//   tavik-server --config server.toml [--allow-open]
//   tavik-server --demo DIR [--id demo] [--demo-password PW] [--listen 127.0.0.1,::1] [--port 9553]
//                [--allow-open]
//   tavik-server hash-password
//   tavik-server check --config server.toml [--allow-open]
//   tavik-server session-key USER@DOMAIN --config server.toml [--ttl 10m]
//   tavik-server make-certificate HOST... [--certificate FILE] [--key FILE]
//   tavik-server account add|list|remove|passwd|disk-add|disk-remove ... --config server.toml
//   tavik-server session-key demo@DOMAIN --demo DIR [--ttl 10m]
//
// Exit status: 0 after a clean stop, 1 when the configuration is refused or the server cannot
// listen, 2 for a usage error.
#include "server/CAccountCommand.h"
#include "server/CCommandHandlers.h"
#include "server/CConfigChanges.h"
#include "server/CDemoSetup.h"
#include "server/CDiskSpace.h"
#include "server/CMetrics.h"
#include "server/CMetricsEndpoint.h"
#include "server/CNetAddress.h"
#include "server/CPasswordHash.h"
#include "server/CServer.h"
#include "server/CServerConfig.h"
#include "server/CServiceServers.h"
#include "server/CServiceStore.h"
#include "server/CSystemdNotifier.h"
#include "tls/SelfSignedPair.h"

#include <sodium.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <memory>
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
    std::string demoPassword;
    std::string listen;
    int port = -1;
    int authPort = -1;
    int diskInfoPort = -1;
    bool quiet = false;
    bool allowOpen = false;
};

struct SessionKeyOptions {
    std::string account;
    std::string configFile;
    std::string demoFolder;
    std::string demoId = "demo";
    std::string ttl = "10m";
};

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "90", "90s", "10m", "2h", "1d": a positive lifetime of at most 30 days.
std::optional<std::chrono::seconds> parseLifetime(const std::string& text) {
    long long value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc()) {
        return std::nullopt;
    }
    const std::string unit(parsed.ptr, text.data() + text.size());
    long long scale = 0;
    if (unit.empty() || unit == "s") {
        scale = 1;
    } else if (unit == "m") {
        scale = 60;
    } else if (unit == "h") {
        scale = 3600;
    } else if (unit == "d") {
        scale = 86400;
    }
    if (scale == 0 || value <= 0 || value > 30LL * 86400 / scale) {
        return std::nullopt;
    }
    return std::chrono::seconds(value * scale);
}

// The demo account: user "demo" in the program's domain, whose one disk is the demo disk.
bool addDemoAccount(tavik::server::CServerConfig& config, std::string& password,
                    std::string& error) {
    if (password.empty()) {
        unsigned char random[9];
        randombytes_buf(random, sizeof random);
        char text[sodium_base64_ENCODED_LEN(sizeof random, sodium_base64_VARIANT_URLSAFE)];
        sodium_bin2base64(text, sizeof text, random, sizeof random, sodium_base64_VARIANT_URLSAFE);
        password = text;
    }
    const auto hash = tavik::server::CPasswordHash::hash(password);
    if (!hash) {
        error = "cannot hash the demo password (out of memory?)";
        return false;
    }
    return tavik::server::CDemoSetup::addAccount(config, *hash, error);
}

// A demo serves TLS with a pair made at start for its addresses and "localhost"; like the rest
// of a demo it lives in memory only (a key in the served folder could be downloaded).
bool addDemoCertificate(tavik::server::CServerConfig& config, std::string& error) {
    std::vector<std::string> hosts{"localhost"};
    hosts.insert(hosts.end(), config.addresses.begin(), config.addresses.end());
    const auto pair = tavik::tls::makeSelfSignedPair(hosts, error);
    if (!pair) {
        return false;
    }
    config.tls = tavik::tls::CTlsContext::forServerPem(pair->certificate, pair->key, error);
    return config.tls != nullptr;
}

struct CertificateOptions {
    std::vector<std::string> hosts;
    std::string certificateFile = "tavik-server.crt";
    std::string keyFile = "tavik-server.key";
};

int makeCertificate(const CertificateOptions& options) {
    std::string error;
    if (!tavik::tls::writeSelfSignedPair(options.hosts, options.certificateFile, options.keyFile,
                                         error)) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return kExitRefused;
    }
    const auto context =
        tavik::tls::CTlsContext::forServer(options.certificateFile, options.keyFile, error);
    std::printf("certificate %s, key %s (readable by you only)\nfingerprint %s\n"
                "[server]\ntls_certificate = \"%s\"\ntls_key = \"%s\"\n",
                options.certificateFile.c_str(), options.keyFile.c_str(),
                context ? context->fingerprint().c_str() : "?", options.certificateFile.c_str(),
                options.keyFile.c_str());
    return 0;
}

// "--listen 127.0.0.1,::1" names several addresses.
std::vector<std::string> splitAddresses(const std::string& text) {
    std::vector<std::string> addresses;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        addresses.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return addresses;
        }
        start = comma + 1;
    }
}

// The start-up lines name the first address, in the form scripts read; the others follow on a
// line of their own.
std::string firstWithPort(const std::vector<std::string>& addresses, uint16_t port) {
    return tavik::server::CNetAddress::withPort(addresses.front(), port);
}

void printOtherAddresses(const std::vector<std::string>& addresses) {
    if (addresses.size() < 2) {
        return;
    }
    std::string others;
    for (size_t i = 1; i < addresses.size(); ++i) {
        const std::string& address = addresses[i];
        others += (i == 1 ? "" : ", ") +
                  (address.find(':') == std::string::npos ? address : "[" + address + "]");
    }
    std::fprintf(stderr, "tavik-server: also listening on %s, on the same ports\n", others.c_str());
}

// The file (or --demo) with the command line's overrides; false with every problem in error,
// one per line.
std::optional<tavik::server::CServerConfig> loadConfig(const Options& options, std::string& error) {
    std::optional<tavik::server::CServerConfig> config;
    if (!options.demoFolder.empty()) {
        config = tavik::server::CServerConfig::demo(options.demoFolder, options.demoId, error);
    } else {
        config = tavik::server::CServerConfig::fromFile(options.configFile, error);
    }
    if (!config) {
        return std::nullopt;
    }
    if (!options.listen.empty()) {
        const auto addresses = splitAddresses(options.listen);
        if (!tavik::server::CServerConfig::validAddresses(addresses, error)) {
            error = "--listen: " + error;
            return std::nullopt;
        }
        config->addresses.clear();
        for (const std::string& address : addresses) {
            config->addresses.push_back(tavik::server::CNetAddress::hostOf(address));
        }
        config->addressesDefaulted = false;
    }
    if (options.port >= 0) {
        config->port = static_cast<uint16_t>(options.port);
    }
    // "--port 0" asks for free ports: the service servers then take free ones too, so that
    // several servers (tests) can run side by side.
    if (options.port == 0) {
        config->service.authPort = 0;
        config->service.diskInfoPort = 0;
    }
    if (options.authPort >= 0) {
        config->service.authPort = static_cast<uint16_t>(options.authPort);
    }
    if (options.diskInfoPort >= 0) {
        config->service.diskInfoPort = static_cast<uint16_t>(options.diskInfoPort);
    }
    config->logCommands = config->logCommands && !options.quiet;
    return config;
}

std::string reachableAddress(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (!tavik::server::CNetAddress::isLoopback(address)) {
            return address;
        }
    }
    return addresses.front();
}

// A disk without a password on an address other machines reach is served only on request.
bool openDisksAllowed(const tavik::server::CServerConfig& config, bool allowOpen,
                      std::string& error) {
    const auto* open = config.openDiskExposed();
    if (open == nullptr || allowOpen) {
        return true;
    }
    error = "disk \"" + open->id + "\" has no password and " + reachableAddress(config.addresses) +
            " is not a loopback address; give it a password or start with --allow-open";
    return false;
}

// What a start reads and opens before it listens: the configuration with the command line's
// overrides, the installation key, the state database, the open-disk rule. The start, "check"
// and a reload all come through here, so that a file "check" accepts is one a start accepts.
std::optional<tavik::server::CServerConfig> prepareConfig(const Options& options,
                                                          std::string& error) {
    auto config = loadConfig(options, error);
    if (!config || !openDisksAllowed(*config, options.allowOpen, error)) {
        return std::nullopt;
    }
    // The metrics tell who uses which disk: not for other machines unless asked for.
    if (const auto metrics = tavik::server::CMetricsEndpoint::parse(config->metricsAddress);
        metrics && !tavik::server::CNetAddress::isLoopback(metrics->first) && !options.allowOpen) {
        error = "metrics_address " + config->metricsAddress +
                " is not a loopback address; start with --allow-open to serve metrics there";
        return std::nullopt;
    }
    if (config->service.enabled() && options.demoFolder.empty() &&
        !tavik::server::openServiceStore(config->service, error)) {
        return std::nullopt;
    }
    return config;
}

// Writes each line of a (multi-line) message with the program's prefix.
void printLines(const std::string& text, const char* prefix = "tavik-server: ") {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::fprintf(stderr, "%s%.*s\n", prefix, static_cast<int>(end - start),
                     text.data() + start);
        start = end + 1;
    }
}

// "check": exit 0 when a start would accept the configuration, else 1 with every problem on a
// line of its own, "file:line: message".
int checkConfig(const Options& options) {
    std::string error;
    const auto config = prepareConfig(options, error);
    if (!config) {
        printLines(error, "");
        return kExitRefused;
    }
    for (const std::string& warning : config->warnings) {
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    }
    std::printf("%s: configuration accepted\n", options.configFile.c_str());
    return 0;
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

// Reads a new password (twice on a terminal) and makes its hash; nullopt after saying why not.
std::optional<std::string> askNewPasswordHash() {
    std::string password;
    if (!readSecretLine("Password: ", password) || password.empty()) {
        std::fprintf(stderr, "tavik-server: no password given\n");
        return std::nullopt;
    }
    if (::isatty(STDIN_FILENO) == 1) {
        std::string again;
        if (!readSecretLine("Again: ", again) || again != password) {
            std::fprintf(stderr, "tavik-server: the two passwords differ\n");
            return std::nullopt;
        }
    }
    auto hash = tavik::server::CPasswordHash::hash(password);
    if (!hash) {
        std::fprintf(stderr, "tavik-server: cannot hash the password (out of memory?)\n");
    }
    return hash;
}

int hashPassword() {
    const auto hash = askNewPasswordHash();
    if (!hash) {
        return kExitRefused;
    }
    std::printf("%s\n", hash->c_str());
    return 0;
}

int manageAccounts(const std::string& configFile, const tavik::server::AccountCommandInput& input) {
    std::string error;
    const auto config = tavik::server::CServerConfig::fromFile(configFile, error);
    auto store = config ? tavik::server::openServiceStore(config->service, error) : nullptr;
    if (!store) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return kExitRefused;
    }
    tavik::server::CAccountCommand command(*store, config->primaryAddress(), askNewPasswordHash);
    std::string out;
    const int status = command.run(input, out, error);
    std::fputs(out.c_str(), stdout);
    if (!error.empty()) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
    }
    return status;
}

// The configuration a session key is issued under: the file's, or the one a --demo server of
// the same folder runs with (its account and its state folder).
std::optional<tavik::server::CServerConfig> sessionKeyConfig(const SessionKeyOptions& options,
                                                             std::string& error) {
    if (options.demoFolder.empty()) {
        return tavik::server::CServerConfig::fromFile(options.configFile, error);
    }
    auto config = tavik::server::CServerConfig::demo(options.demoFolder, options.demoId, error);
    if (!config || !tavik::server::CDemoSetup::addAccount(*config, "", error)) {
        return std::nullopt;
    }
    return config;
}

// Whether the store already holds the demo configuration's account.
bool demoAccountStored(tavik::server::CServiceStore* store,
                       const tavik::server::CServerConfig& config) {
    if (store == nullptr || config.service.accounts.empty()) {
        return false;
    }
    const auto found = store->findAccount(config.service.accounts.front().identifier());
    return found && found->has_value();
}

int issueSessionKey(const SessionKeyOptions& options) {
    if (options.configFile.empty() && options.demoFolder.empty()) {
        std::fprintf(stderr, "tavik-server: session-key needs --config FILE or --demo DIR\n");
        return kExitUsage;
    }
    std::string error;
    const auto config = sessionKeyConfig(options, error);
    if (!config) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return kExitRefused;
    }
    const auto lifetime = parseLifetime(options.ttl);
    if (!lifetime) {
        std::fprintf(stderr, "tavik-server: --ttl takes 90, 90s, 10m, 2h or 1d (up to 30 days)\n");
        return kExitUsage;
    }
    auto store = tavik::server::openServiceStore(config->service, error);
    // A demo's account is in its store once the demo has started; written again here it would
    // lose its password, which this command does not know.
    const bool seed = options.demoFolder.empty() || !demoAccountStored(store.get(), *config);
    if (!store || (seed && !tavik::server::seedAccounts(*store, config->service, error))) {
        std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
        return kExitRefused;
    }
    const auto account = store->findAccount(options.account);
    if (account && !account->has_value()) {
        std::fprintf(stderr, "tavik-server: no account %s in %s\n", options.account.c_str(),
                     options.demoFolder.empty() ? options.configFile.c_str() : "the demo");
        return kExitRefused;
    }
    const auto key = account
                         ? store->issueSessionKey((*account)->identifier(), *lifetime, secondsNow())
                         : tavik::server::StoreResult<std::string>::fail(account.error());
    if (!key) {
        std::fprintf(stderr, "tavik-server: %s\n", key.error().c_str());
        return kExitRefused;
    }
    std::printf("%s\n", key->c_str());
    return 0;
}

// The disk list names a disk's server by its host. A disk served here on another port than the
// disk servers' own 9553 (a demo on a free port) is named "host:port", which the program reads,
// so that the disk list leads to this server and not to whatever listens on 9553.
void nameDiskServerPort(tavik::server::CServerConfig& config, uint16_t port) {
    if (port == 9553) {
        return;
    }
    for (tavik::server::AccountConfig& account : config.service.accounts) {
        for (tavik::server::AccountDisk& disk : account.disks) {
            if (disk.server == config.primaryAddress()) {
                disk.server = tavik::server::CNetAddress::withPort(disk.server, port);
            }
        }
    }
}

// A port another program holds is the usual reason a second server cannot start.
int refuseStart(const std::string& error) {
    std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
    if (error.find(" is taken") != std::string::npos) {
        std::fprintf(stderr, "tavik-server: --port 0 makes every server take a free port (each "
                             "is printed)\n");
    }
    return kExitRefused;
}

// Gauges read at each scrape: open connections, and each disk's quota, the bytes it holds and
// the bytes running writes hold reserved against it.
void watchGauges(tavik::server::CServer& server) {
    using Samples = std::vector<std::pair<tavik::server::CMetrics::Labels, double>>;
    tavik::server::CMetrics& metrics = tavik::server::CMetrics::instance();
    metrics.setGauge("tavik_connections_open", "Open disk-server connections.", [&server] {
        return Samples{{{}, static_cast<double>(server.stats().connections.load())}};
    });
    metrics.setGauge("tavik_quota_bytes", "Each disk's quota.", [&server] {
        Samples samples;
        for (const auto& disk : server.current()->disks) {
            if (disk.quota) {
                samples.push_back({{{"disk", disk.id}}, static_cast<double>(*disk.quota)});
            }
        }
        return samples;
    });
    // What the quota counts (the files below the root), read afresh at each scrape as
    // "getquota" does. Disks without a quota are left out: their use is the file system's, which
    // its own exporters report.
    metrics.setGauge("tavik_quota_used_bytes", "Bytes each disk with a quota holds.", [&server] {
        Samples samples;
        for (const auto& disk : server.current()->disks) {
            if (disk.quota) {
                const uint64_t used = tavik::server::CDiskSpace::usedBytes(disk.root);
                samples.push_back({{{"disk", disk.id}}, static_cast<double>(used)});
            }
        }
        return samples;
    });
    metrics.setGauge("tavik_quota_reserved_bytes",
                     "Bytes running writes hold reserved on each disk.", [&server] {
                         Samples samples;
                         for (const auto& disk : server.current()->disks) {
                             samples.push_back({{{"disk", disk.id}},
                                                static_cast<double>(disk.ledger->reserved())});
                         }
                         return samples;
                     });
}

// The graceful stop: no new connections, idle ones end at once, and running requests (a
// transfer as a whole) may finish within drain_timeout_ms; a second SIGTERM or SIGINT, or the
// end of that time, ends the rest.
void drain(tavik::server::CServer& server, const sigset_t& signals) {
    const int limitMs = server.current()->drainTimeoutMs;
    server.stopAccepting();
    size_t running = server.running();
    if (running == 0) {
        return;
    }
    std::fprintf(stderr,
                 "tavik-server: waiting up to %d ms for %zu connection(s) to finish their "
                 "requests\n",
                 limitMs, running);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    static constexpr timespec kSlice{0, 50 * 1000 * 1000};
    while ((running = server.running()) > 0 && std::chrono::steady_clock::now() < deadline) {
        const int received = sigtimedwait(&signals, nullptr, &kSlice);
        if (received == SIGTERM || received == SIGINT) {
            std::fprintf(stderr, "tavik-server: signal %d: ending them now\n", received);
            break;
        }
    }
    if (running > 0) {
        std::fprintf(stderr,
                     "tavik-server: %zu connection(s) still running after the drain are "
                     "ended\n",
                     running);
    }
}

// SIGHUP: reads the configuration again as a start would and hands it to the servers for new
// connections. A file that fails is refused and the running configuration stays.
bool reload(const Options& options, const tavik::server::CServerConfig& started,
            tavik::server::CServer& server,
            std::optional<tavik::server::CServiceServers>& services) {
    if (!options.demoFolder.empty()) {
        std::fprintf(stderr, "tavik-server: SIGHUP: a --demo server has no configuration file to "
                             "read again\n");
        return false;
    }
    std::string problems;
    auto fresh = prepareConfig(options, problems);
    if (!fresh) {
        printLines(problems, "tavik-server: reload refused, the running configuration stays: ");
        return false;
    }
    for (const std::string& key :
         tavik::server::CConfigChanges::needingRestart(started, *fresh, services.has_value())) {
        std::fprintf(stderr, "tavik-server: %s changed: it takes effect at the next restart\n",
                     key.c_str());
    }
    for (const std::string& warning : fresh->warnings) {
        std::fprintf(stderr, "tavik-server: warning: %s\n", warning.c_str());
    }
    nameDiskServerPort(*fresh, server.port());
    tavik::server::CLogOutput::configure(fresh->logLevel, fresh->logFormat);
    server.reload(*fresh);
    if (services) {
        services->reload(server.current());
    }
    std::fprintf(stderr, "tavik-server: configuration reloaded from %s for new connections\n",
                 options.configFile.c_str());
    return true;
}

int serve(const Options& options, tavik::server::CServerConfig config) {
    const tavik::server::CServerConfig started = config;
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    // Blocked before any thread starts, so that no connection thread receives them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    std::shared_ptr<tavik::server::CServiceStore> shared;
    if (!config.service.postgresql.empty()) {
        // Disk servers over one folder reserve its space together through the shared store.
        shared = tavik::server::openServiceStore(config.service, error);
        if (!shared) {
            std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
            return kExitRefused;
        }
        for (const tavik::server::DiskConfig& disk : config.disks) {
            disk.ledger->share(shared, disk.id);
        }
    }
    tavik::server::CServer server(config);
    if (!server.start(error)) {
        return refuseStart(error);
    }
    for (const std::string& warning : server.warnings()) {
        std::fprintf(stderr, "tavik-server: warning: %s\n", warning.c_str());
    }
    nameDiskServerPort(config, server.port());
    std::optional<tavik::server::CServiceServers> services;
    if (config.service.enabled()) {
        // The service servers keep to the share of the descriptor budget the disk server left.
        config.service.maxConnections = server.config().service.maxConnections;
        services.emplace(config);
        if (!services->start(error)) {
            server.stop();
            return refuseStart(error);
        }
    }
    tavik::server::CMetricsEndpoint metrics;
    if (!config.metricsAddress.empty() && !metrics.start(config.metricsAddress, error)) {
        if (services) {
            services->stop();
        }
        server.stop();
        return refuseStart(error);
    }
    watchGauges(server);
    // Announced only once every port is held, so that a script reading these lines never
    // meets a server that is about to give up.
    std::fprintf(stderr, "tavik-server: listening on %s\n",
                 firstWithPort(server.addresses(), server.port()).c_str());
    if (services) {
        std::fprintf(stderr,
                     "tavik-server: authentication server on %s, disk-information server on %s\n",
                     firstWithPort(server.addresses(), services->authPort()).c_str(),
                     firstWithPort(server.addresses(), services->diskInfoPort()).c_str());
    }
    if (!config.metricsAddress.empty()) {
        const auto host = tavik::server::CMetricsEndpoint::parse(config.metricsAddress)->first;
        std::fprintf(stderr, "tavik-server: metrics on %s\n",
                     tavik::server::CNetAddress::withPort(host, metrics.port()).c_str());
    }
    printOtherAddresses(server.addresses());
    if (config.tls) {
        std::fprintf(stderr, "tavik-server: TLS on every port, certificate fingerprint %s%s\n",
                     config.tls->fingerprint().c_str(),
                     config.requireTls ? " (plain connections refused)" : "");
    }
    tavik::server::CSystemdNotifier::ready("serving on " +
                                           firstWithPort(server.addresses(), server.port()));
    int received = 0;
    while (sigwait(&signals, &received) == 0 && received == SIGHUP) {
        tavik::server::CSystemdNotifier::reloading();
        const bool reloaded = reload(options, started, server, services);
        tavik::server::CSystemdNotifier::ready(reloaded ? "configuration reloaded"
                                                        : "reload refused, configuration kept");
    }
    std::fprintf(stderr, "tavik-server: stopping (signal %d)\n", received);
    tavik::server::CSystemdNotifier::stopping();
    if (services) {
        services->stop();
    }
    drain(server, signals);
    metrics.stop();
    tavik::server::CMetrics::instance().clearGauges();
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
    app.add_option("--listen", options.listen,
                   "addresses to listen on, comma-separated (IPv4 or IPv6)");
    app.add_option("-p,--port", options.port, "TCP port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--demo-password", options.demoPassword,
                   "password of the demo account (default: a random one, printed)")
        ->needs(demo);
    app.add_option("--auth-port", options.authPort, "authentication server port (0: any free)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--diskinfo-port", options.diskInfoPort,
                   "disk-information server port (0: any free)")
        ->check(CLI::Range(0, 65535));
    app.add_flag("-q,--quiet", options.quiet, "no log line per command");
    app.add_flag("--allow-open", options.allowOpen,
                 "serve disks without a password on a non-loopback address");
    auto* hash = app.add_subcommand(
        "hash-password", "read a password from stdin (not echoed) and print its hash for the "
                         "configuration's password key");
    SessionKeyOptions keyOptions;
    auto* sessionKey =
        app.add_subcommand("session-key", "issue a single-use session key for an account");
    sessionKey->add_option("account", keyOptions.account, "USER@DOMAIN")->required();
    auto* keyConfig =
        sessionKey->add_option("-c,--config", keyOptions.configFile, "configuration file (TOML)");
    auto* keyDemo = sessionKey->add_option("--demo", keyOptions.demoFolder,
                                           "the folder a running --demo server serves");
    keyConfig->excludes(keyDemo);
    sessionKey->add_option("--id", keyOptions.demoId, "disk id of that --demo disk")
        ->needs(keyDemo);
    sessionKey->add_option("--ttl", keyOptions.ttl, "lifetime: 90s, 10m, 2h, 1d (default 10m)");
    CertificateOptions certificateOptions;
    auto* certificate = app.add_subcommand(
        "make-certificate", "write a self-signed TLS certificate and key (0600) for host names "
                            "or addresses");
    certificate->add_option("host", certificateOptions.hosts, "HOST...")->required();
    certificate->add_option("--certificate", certificateOptions.certificateFile,
                            "certificate file to create (default tavik-server.crt)");
    certificate->add_option("--key", certificateOptions.keyFile,
                            "key file to create (default tavik-server.key)");
    auto* accounts = app.add_subcommand("account", "manage the accounts of the configured store");
    accounts->require_subcommand(1);
    accounts->fallthrough(); // --config may follow the action too
    std::string accountConfig;
    tavik::server::AccountCommandInput accountInput;
    accounts->add_option("-c,--config", accountConfig, "configuration file (TOML)")->required();
    struct Action {
        const char* name;
        const char* help;
        bool account;
        bool disk;
    };
    const Action actions[] = {
        {"add", "add an account (password read without echo, or from stdin)", true, false},
        {"list", "list the accounts with their disks", false, false},
        {"remove", "remove an account", true, false},
        {"passwd", "set an account's password", true, false},
        {"disk-add", "add a disk to an account's list (or change it in place)", true, true},
        {"disk-remove", "remove a disk from an account's list", true, true},
    };
    for (const Action& action : actions) {
        auto* sub = accounts->add_subcommand(action.name, action.help);
        sub->callback([&accountInput, name = action.name] { accountInput.action = name; });
        if (action.account) {
            sub->add_option("account", accountInput.identifier, "USER@DOMAIN")->required();
        }
        if (action.disk) {
            sub->add_option("disk", accountInput.diskId, "the disk's id")->required();
        }
        if (std::string_view(action.name) == "add") {
            sub->add_option("--name", accountInput.displayName, "display name (default: user)");
            sub->add_option("--number", accountInput.userNumber, "user number");
            sub->add_flag("--no-password", accountInput.noPassword,
                          "no password: session keys only");
        }
        if (std::string_view(action.name) == "disk-add") {
            sub->add_option("--name", accountInput.diskName, "name in the disk list");
            sub->add_option("--server", accountInput.diskServer,
                            "disk server: host, host:port or [v6]:port");
        }
    }
    Options checkOptions;
    auto* check = app.add_subcommand(
        "check", "read the configuration as a start would; exit 1 naming every problem");
    check->add_option("-c,--config", checkOptions.configFile, "configuration file (TOML)")
        ->required();
    check->add_flag("--allow-open", checkOptions.allowOpen,
                    "serve disks without a password on a non-loopback address");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done); // --help, --version
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }
    if (sodium_init() < 0) {
        std::fprintf(stderr, "tavik-server: libsodium cannot start\n");
        return kExitRefused;
    }
    if (hash->parsed()) {
        return hashPassword();
    }
    if (sessionKey->parsed()) {
        return issueSessionKey(keyOptions);
    }
    if (certificate->parsed()) {
        return makeCertificate(certificateOptions);
    }
    if (accounts->parsed()) {
        return manageAccounts(accountConfig, accountInput);
    }
    if (check->parsed()) {
        return checkConfig(checkOptions);
    }
    if (options.configFile.empty() && options.demoFolder.empty()) {
        std::fprintf(stderr, "tavik-server: give --config FILE or --demo DIR\n");
        return kExitUsage;
    }
    std::string problems;
    auto loaded = prepareConfig(options, problems);
    if (!loaded) {
        printLines(problems);
        return kExitRefused;
    }
    if (!options.demoFolder.empty()) {
        std::string password = options.demoPassword;
        std::string error;
        if (!addDemoAccount(*loaded, password, error) || !addDemoCertificate(*loaded, error)) {
            std::fprintf(stderr, "tavik-server: %s\n", error.c_str());
            return kExitRefused;
        }
        std::fprintf(stderr, "tavik-server: demo account %s, password %s\n",
                     loaded->service.accounts.front().identifier().c_str(),
                     options.demoPassword.empty() ? password.c_str() : "as given");
    }
    for (const std::string& warning : loaded->warnings) {
        std::fprintf(stderr, "tavik-server: warning: %s\n", warning.c_str());
    }
    tavik::server::CLogOutput::configure(loaded->logLevel, loaded->logFormat);
    const int status = serve(options, *loaded);
    if (!options.demoFolder.empty()) {
        tavik::server::CDemoSetup::removeState(*loaded);
    }
    return status;
}
