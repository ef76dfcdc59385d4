// tavik-server --demo on free loopback ports, for the tests' process: user "demo" in the
// program's domain with the password kPassword and one disk (a temporary folder). Stopped (and
// its folder removed) when the object goes.
#pragma once

#include "tests/support/CTempFolder.h"

#include <QProcess>

#include <cstdint>
#include <string>

namespace tavik::test {

class DemoServer {
public:
    static constexpr const char* kPassword = "demo-secret";

    ~DemoServer();
    // Starts the server and waits (at most 20 s) until it has printed its ports.
    bool Start();
    uint16_t AuthPort() const { return authPort_; }
    uint16_t DiskInfoPort() const { return diskInfoPort_; }
    const std::string& Output() const { return output_; }

private:
    CTempFolder folder_;
    QProcess process_;
    std::string output_;
    uint16_t authPort_ = 0;
    uint16_t diskInfoPort_ = 0;
};

} // namespace tavik::test
