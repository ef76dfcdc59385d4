#include "tests/service_server/CPostgresHarness.h"

#include <libpq-fe.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace tavik::test {

namespace {

constexpr char kUser[] = "nobody";

// The newest installed version's programs.
std::optional<std::string> newestBinaries() {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        if (std::filesystem::exists(entry.path() / "bin" / "postgres") &&
            std::filesystem::exists(entry.path() / "bin" / "initdb")) {
            found.push_back(entry.path() / "bin");
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::atoi(a.parent_path().filename().c_str()) <
               std::atoi(b.parent_path().filename().c_str());
    });
    return found.back().string();
}

} // namespace

std::optional<std::string> CPostgresHarness::binaries() {
    static const std::optional<std::string> bin = newestBinaries();
    return bin;
}

std::vector<std::string> CPostgresHarness::asOwner(std::vector<std::string> argv) const {
    if (::geteuid() != 0) {
        return argv;
    }
    std::vector<std::string> wrapped{"/usr/bin/setpriv", "--reuid=" + std::string(kUser),
                                     "--regid=" + std::string(kUser), "--clear-groups", "--"};
    const struct group* group = ::getgrnam("nogroup");
    if (group != nullptr) {
        wrapped[2] = "--regid=" + std::to_string(group->gr_gid);
    }
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

CPostgresHarness::CPostgresHarness() : bin_(binaries()) {
    if (!bin_) {
        return;
    }
    char pattern[] = "/tmp/tavik-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error_ = "cannot make a temporary folder";
        return;
    }
    folder_ = pattern;
    if (::geteuid() == 0) {
        const struct passwd* owner = ::getpwnam(kUser);
        if (owner == nullptr || ::chown(folder_.c_str(), owner->pw_uid, owner->pw_gid) != 0) {
            error_ = "cannot hand the folder to " + std::string(kUser);
            return;
        }
    }
    const auto made = CChildProcess::run(
        asOwner({*bin_ + "/initdb", "--no-sync", "--auth=trust", "--username=tavik",
                 "--encoding=UTF8", "--locale=C", "-D", folder_ + "/data"}),
        {});
    if (made.exitCode != 0) {
        error_ = "initdb failed: " + made.err;
        return;
    }
    uri_ = "postgresql:///postgres?host=" + folder_ + "&user=tavik";
    start();
}

CPostgresHarness::~CPostgresHarness() {
    stop();
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
}

bool CPostgresHarness::start() {
    if (running()) {
        return true;
    }
    // Unix socket only, in the folder; nothing written to disk synchronously (a test's data).
    server_ = std::make_unique<CChildProcess>(
        asOwner({*bin_ + "/postgres", "-D", folder_ + "/data", "-k", folder_, "-c",
                 "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off", "-c",
                 "full_page_writes=off", "-c", "max_connections=60"}),
        std::map<std::string, std::string>{}, std::nullopt, folder_ + "/postgres.log");
    if (!server_->started() || !waitUntilReady()) {
        error_ = "postgres did not start (see " + folder_ + "/postgres.log)";
        server_.reset();
        return false;
    }
    return true;
}

bool CPostgresHarness::stop() {
    if (!running()) {
        return true;
    }
    server_->signal(SIGINT); // fast shutdown: clients are cut off, data stays
    const auto ended = server_->wait(std::chrono::seconds(30));
    server_.reset();
    return !ended.timedOut;
}

bool CPostgresHarness::waitUntilReady() {
    for (int tries = 0; tries < 400; ++tries) {
        if (PQping(uri_.c_str()) == PQPING_OK) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace tavik::test
