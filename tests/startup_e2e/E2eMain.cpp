// The whole start against the reference service. Before any test runs (and before the program
// reads its built-in addresses), main starts tavik-server with a demo account on free loopback
// ports and points the program at its authentication and disk-information servers. Listing
// the tests starts nothing.
#include "tests/startup_e2e/DemoServer.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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
    ::setenv("TAVIK_AUTH_SERVER", ("127.0.0.1:" + std::to_string(server.AuthPort())).c_str(), 1);
    ::setenv("TAVIK_DISKINFO_SERVER",
             ("127.0.0.1:" + std::to_string(server.DiskInfoPort())).c_str(), 1);
    return RUN_ALL_TESTS();
}
