// What the start-up tests share: a program folder A/B/bin of their own with update.ini and the
// stand-in updater as Updrona.exe, their own registry file, device root and window scope, and
// a bounded wait that keeps the event loop turning.
#pragma once

#include "tests/support/CTempFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace tavik::test {

class StartupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(BinFolder());
        fs::create_directories(folder_.file("device"));
        ::setenv("TAVIK_REGISTRY", folder_.file("registry.db").c_str(), 1);
        ::setenv("TAVIK_DEVICE_ROOT", folder_.file("device").c_str(), 1);
        ::setenv("TAVIK_WINDOW_SCOPE", folder_.path().c_str(), 1);
        ::setenv("TAVIK_FAKE_UPDATER_LOG", folder_.file("updater.log").c_str(), 1);
        ::unsetenv("TAVIK_FAKE_UPDATER_OFFER");
        ::unsetenv("TAVIK_FAKE_UPDATER_WINDOW");
        WriteIni("[Client]\nchannel=" + Channel() + "\n");
        InstallUpdater("Updrona.exe");
    }
    void TearDown() override {
        for (const char* name :
             {"TAVIK_REGISTRY", "TAVIK_DEVICE_ROOT", "TAVIK_WINDOW_SCOPE", "TAVIK_FAKE_UPDATER_LOG",
              "TAVIK_FAKE_UPDATER_OFFER", "TAVIK_FAKE_UPDATER_WINDOW"}) {
            ::unsetenv(name);
        }
    }

    std::string Root() const { return folder_.file("A/B"); }
    std::string BinFolder() const { return Root() + "/bin"; }
    std::string ExecutablePath() const { return BinFolder() + "/tavikPDA"; }
    std::string MarkerPath() const { return Root() + "/update/newstart.txt"; }
    static std::string Channel() { return "test"; }

    void WriteIni(const std::string& text) const { folder_.write("A/B/bin/update.ini", text); }
    // The stand-in updater under the given name in the program folder.
    void InstallUpdater(const std::string& name) const {
        std::error_code error;
        std::filesystem::remove(BinFolder() + "/" + name, error);
        std::filesystem::create_symlink(TAVIK_FAKE_UPDRONA, BinFolder() + "/" + name);
    }

    // The lines the stand-in updater recorded so far.
    std::vector<std::string> UpdaterLog() const {
        std::vector<std::string> lines;
        std::istringstream text(folder_.read("updater.log"));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    // Waits (events turning) until the updater has recorded count lines; false after 10 s.
    bool WaitForUpdaterLines(size_t count) const {
        return WaitFor([&] { return UpdaterLog().size() >= count; });
    }

    static bool WaitFor(const std::function<bool()>& done, int limitMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limitMs) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return true;
    }

    CTempFolder folder_;
};

} // namespace tavik::test
