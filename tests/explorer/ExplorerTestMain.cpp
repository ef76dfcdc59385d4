// The explorer's tests need a QApplication (widgets, menus, the message box) and run without a
// screen, with a registry file of their own.
#include "app/settings/CSecuritySetting.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string registry = (std::filesystem::temp_directory_path() /
                                  ("tavik-explorer-" + std::to_string(::getpid()) + ".db"))
                                     .string();
    ::setenv("TAVIK_REGISTRY", registry.c_str(), 1);
    // The servers of these tests speak plain.
    tavik::app::CSecuritySetting::Store(tavik::app::CSecuritySetting::Mode::Off);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    // The program's own language decides the collation the text sort uses.
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(registry + suffix, ignored);
    }
    return result;
}
