// The program's tests need a QApplication (windows, message boxes, the event loop that carries
// window messages) and run without a screen, with a registry file of their own in which the
// connections are plain (the scripted peers speak the plain protocol).
#include "app/settings/CSecuritySetting.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string registry = (std::filesystem::temp_directory_path() /
                                  ("tavik-socket-" + std::to_string(::getpid()) + ".db"))
                                     .string();
    ::setenv("TAVIK_REGISTRY", registry.c_str(), 1);
    tavik::app::CSecuritySetting::Store(tavik::app::CSecuritySetting::Mode::Off);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(registry + suffix, ignored);
    }
    return result;
}
