// Shared set-up of the transfer and service tests: a scripted fake disk server, a session logged
// in to it, a temporary device root, and a recorder for the progress notices (window message and
// callback) that checks every message comes before its callback.
#pragma once

#include "sdk/core/CSession.h"
#include "sdk/include/TavikSDK.h"
#include "sdk/include/TavikWindow.h"
#include "tests/platform_files/DeviceRoot.h"
#include "tests/support/CFakeDiskServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tavik::test {

// One notice as the caller saw it: the record's fields at that moment.
struct Notice {
    bool fromWindow;
    const TAVIK_PROGRESS* address;
    TAVIK_PROGRESS copy;
};

class CNoticeRecorder : public CWindow {
public:
    static constexpr UINT kMessage = 2075;

    CNoticeRecorder() { current_ = this; }
    ~CNoticeRecorder() override { current_ = nullptr; }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        EXPECT_EQ(msg, kMessage);
        EXPECT_EQ(wParam, 0u);
        auto* progress = reinterpret_cast<TAVIK_PROGRESS*>(lParam);
        all.push_back({true, progress, *progress});
        return 0;
    }
    static void callback(TAVIK_PROGRESS* progress) {
        CNoticeRecorder* self = current_;
        self->all.push_back({false, progress, *progress});
        if (self->onCallback) {
            self->onCallback(*progress, self->callbacks().size());
        }
    }

    // Points a transfer's notification fields at this recorder.
    void attach(TAVIK_TRANSFER& transfer) {
        transfer.hNotifyWnd = this;
        transfer.uNotifyMsg = kMessage;
        transfer.pfnProgress = &CNoticeRecorder::callback;
    }
    void attach(TAVIK_TRANSFER_EX& transfer) {
        transfer.hNotifyWnd = this;
        transfer.uNotifyMsg = kMessage;
        transfer.pfnProgress = &CNoticeRecorder::callback;
    }

    // The callback notices, in order; checks that each follows its message with the same record.
    std::vector<TAVIK_PROGRESS> callbacks() const {
        std::vector<TAVIK_PROGRESS> out;
        for (size_t i = 0; i < all.size(); ++i) {
            if (!all[i].fromWindow) {
                out.push_back(all[i].copy);
            }
        }
        return out;
    }
    ::testing::AssertionResult messagesPrecedeCallbacks() const {
        if (all.size() % 2 != 0) {
            return ::testing::AssertionFailure() << all.size() << " notices, not pairs";
        }
        for (size_t i = 0; i < all.size(); i += 2) {
            if (!all[i].fromWindow || all[i + 1].fromWindow ||
                all[i].address != all[i + 1].address ||
                all[i].copy.dwPos != all[i + 1].copy.dwPos) {
                return ::testing::AssertionFailure() << "notice " << i / 2 << " out of order";
            }
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<Notice> all;
    // Runs after each callback with the record and the number of callbacks so far.
    std::function<void(const TAVIK_PROGRESS&, size_t)> onCallback;

private:
    static inline CNoticeRecorder* current_ = nullptr;
};

class TransferTest : public ::testing::Test {
protected:
    static constexpr int kSessionTimeoutMs = 5000;

    explicit TransferTest(int stepTimeoutMs = 5000) : server(stepTimeoutMs) {}

    void TearDown() override {
        if (session != nullptr) {
            tavik_DestroySession(session);
        }
    }

    // Starts the script (which must begin with expectLogin) and logs in.
    void connect() {
        server.start();
        session =
            tavik_CreateSession(server.host(), server.port(), u"bob", nullptr, kSessionTimeoutMs);
        ASSERT_NE(session, nullptr) << tavik_GetLastError();
    }
    bool connectionOpen() { return static_cast<CSession*>(session)->connection.IsOpen(); }

    // Marks the last error to see whether a call changes it.
    static void markLastError() {
        tavik_SetLastError(777);
        tavik_SetLastErrStr(u"before");
    }

    DeviceRoot root;
    CFakeDiskServer server;
    TAVIK_SESSION session = nullptr;
    CNoticeRecorder recorder;
};

inline std::vector<uint8_t> patternBytes(size_t count, uint32_t seed = 1) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

inline std::string asString(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace tavik::test
