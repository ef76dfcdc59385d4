// Shared set-up of the operation tests: a scripted fake disk server and a session logged in to
// it. A test writes the server's script (starting with the login), then calls connect().
#pragma once

#include "sdk/core/CLastError.h"
#include "sdk/core/CSession.h"
#include "sdk/include/TavikSDK.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavik::test {

class OpsTest : public ::testing::Test {
protected:
    // Every exchange of these tests is bounded by this session time-out.
    static constexpr int kSessionTimeoutMs = 5000;

    void TearDown() override {
        if (session != nullptr) {
            tavik_DestroySession(session);
        }
    }

    // Starts the script and logs in; the script must begin with expectLogin().
    void connect() {
        server.start();
        session =
            tavik_CreateSession(server.host(), server.port(), u"bob", nullptr, kSessionTimeoutMs);
        ASSERT_NE(session, nullptr) << tavik_GetLastError();
    }

    CSession& sessionObject() { return *static_cast<CSession*>(session); }

    // Puts a recognisable value into the last error, to see whether a call touches it.
    static void markLastError(int code = 777, const char16_t* text = u"before") {
        tavik_SetLastError(code);
        tavik_SetLastErrStr(text);
    }
    static std::u16string lastText() { return tavik_GetLastErrStr(); }

    CFakeDiskServer server;
    TAVIK_SESSION session = nullptr;
};

// The bytes of a text as a string item carries them (with its NUL).
inline std::vector<uint8_t> textBytes(const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

} // namespace tavik::test
