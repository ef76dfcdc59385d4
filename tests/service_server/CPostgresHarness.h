// A real PostgreSQL server for one test: a fresh cluster in a temporary folder, reached only
// through a Unix socket in that folder. As root (CI), initdb and the server run as "nobody",
// since PostgreSQL refuses to run as root. Stopped and removed with the object.
//
// Where PostgreSQL is not installed, installed() is false and tests skip with a line saying so.
#pragma once

#include "tests/cli/CChildProcess.h"

#include <memory>
#include <optional>
#include <string>

namespace tavik::test {

class CPostgresHarness {
public:
    // The folder holding initdb and postgres, or nullopt when PostgreSQL is not installed.
    static std::optional<std::string> binaries();

    CPostgresHarness();
    ~CPostgresHarness();
    CPostgresHarness(const CPostgresHarness&) = delete;
    CPostgresHarness& operator=(const CPostgresHarness&) = delete;

    bool installed() const { return bin_.has_value(); }
    bool running() const { return server_ != nullptr; }
    // Why the cluster could not be made or started.
    const std::string& error() const { return error_; }
    // "postgresql://..." for libpq and the [store] table.
    const std::string& uri() const { return uri_; }

    // Stops the server (fast shutdown) and waits for it; start() brings it back on the same data.
    bool stop();
    bool start();

private:
    std::vector<std::string> asOwner(std::vector<std::string> argv) const;
    bool waitUntilReady();

    std::optional<std::string> bin_;
    std::string folder_;
    std::string uri_;
    std::string error_;
    std::unique_ptr<CChildProcess> server_;
};

} // namespace tavik::test
