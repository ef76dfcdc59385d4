// The start-up tests need a QApplication (windows, message boxes, the event loop that carries
// window messages) and run without a screen.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Servers nobody listens at (port 1 is refused at once), unless a test names its own.
    ::setenv("TAVIK_AUTH_SERVER", "127.0.0.1:1", 0);
    ::setenv("TAVIK_DISKINFO_SERVER", "127.0.0.1:1", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
