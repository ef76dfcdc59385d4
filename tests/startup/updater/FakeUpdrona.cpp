// A stand-in for the updater program in the start-up tests. It records each start and can play
// the two parts the explorer relies on: a running updater that ends on WM_CLOSE, and the notice
// that updates are ready (message 3026, wParam 1000) to the window named by "/H:<handle>".
//
// Settings from the environment:
//   TAVIK_FAKE_UPDATER_LOG      file to which one line per start is appended: "start" and the
//                               arguments, each after one blank; "closed" when WM_CLOSE came
//   TAVIK_FAKE_UPDATER_OFFER=1  send the notice to the /H: window after starting
//   TAVIK_FAKE_UPDATER_WINDOW   a window class to own until WM_CLOSE arrives (at most 30 s)
#include "platform/CWindowEndpoint.h"
#include "platform/Utf8.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using tavik::platform::CWindowEndpoint;

void Log(const std::string& line) {
    if (const char* path = std::getenv("TAVIK_FAKE_UPDATER_LOG")) {
        std::ofstream(path, std::ios::app) << line << "\n";
    }
}

void OfferUpdates(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "/H:", 3) == 0) {
            CWindowEndpoint::PostToFirst(CWindowEndpoint::HandleName(std::atoi(argv[i] + 3)),
                                         {3026, 1000, 0});
        }
    }
}

void WaitForClose(const char* windowClass) {
    CWindowEndpoint endpoint;
    if (endpoint.Bind(CWindowEndpoint::ClassName(tavik::platform::utf16FromUtf8(windowClass))) !=
        0) {
        Log("bind failed");
        return;
    }
    Log("window");
    pollfd watch{endpoint.Descriptor(), POLLIN, 0};
    constexpr int kLimitMs = 30000;
    while (::poll(&watch, 1, kLimitMs) > 0) {
        tavik::platform::EndpointRecord record;
        while (endpoint.Receive(record)) {
            if (record.msg == tavik::platform::kWmClose) {
                Log("closed");
                return;
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string line = "start";
    for (int i = 1; i < argc; ++i) {
        line += std::string(" ") + argv[i];
    }
    Log(line);
    if (const char* offer = std::getenv("TAVIK_FAKE_UPDATER_OFFER"); offer && offer[0] == '1') {
        OfferUpdates(argc, argv);
    }
    if (const char* windowClass = std::getenv("TAVIK_FAKE_UPDATER_WINDOW")) {
        WaitForClose(windowClass);
    }
    return 0;
}
