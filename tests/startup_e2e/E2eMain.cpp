// The whole start against the reference service. Before any test runs (and before the program
// reads its built-in addresses), main starts tavik-server with a demo account on free loopback
// ports and points the program at its authentication and disk-information servers. Listing
// the tests starts nothing. The program connects over TLS (its default) and finds the demo's
// certificate in a list of known servers of the run's own, as a user who accepted it once would.
#include "tests/startup_e2e/DemoServer.h"
#include "tls/CKnownServers.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

namespace {

// Keeps the demo's fingerprint for its two service servers (its disk server, on the same host
// with the same certificate, is then trusted without a question).
bool TrustDemo(const tavik::test::DemoServer& server) {
    std::smatch match;
    const std::string& output = server.Output();
    if (!std::regex_search(
            output, match,
            std::regex("certificate fingerprint ((?:[0-9A-F]{2}:){31}[0-9A-F]{2})"))) {
        return false;
    }
    const tavik::tls::CKnownServers known(tavik::tls::CKnownServers::defaultPath());
    std::string error;
    return known.remember(tavik::tls::CKnownServers::key("127.0.0.1", server.AuthPort()),
                          match[1].str(), error) &&
           known.remember(tavik::tls::CKnownServers::key("127.0.0.1", server.DiskInfoPort()),
                          match[1].str(), error);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    tavik::test::DemoServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start tavik-server: %s\n", server.Output().c_str());
        return 1;
    }
    char config[] = "/tmp/tavik-e2e-config-XXXXXX";
    if (::mkdtemp(config) == nullptr) {
        return 1;
    }
    ::setenv("XDG_CONFIG_HOME", config, 1);
    if (!TrustDemo(server)) {
        std::fprintf(stderr, "no certificate fingerprint from tavik-server: %s\n",
                     server.Output().c_str());
        std::filesystem::remove_all(config);
        return 1;
    }
    ::setenv("TAVIK_AUTH_SERVER", ("127.0.0.1:" + std::to_string(server.AuthPort())).c_str(), 1);
    ::setenv("TAVIK_DISKINFO_SERVER",
             ("127.0.0.1:" + std::to_string(server.DiskInfoPort())).c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
    return result;
}
