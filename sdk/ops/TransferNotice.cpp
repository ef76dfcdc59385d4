#include "sdk/ops/TransferNotice.h"

#include "platform/WindowMessage.h"

namespace tavik {

void notifyProgress(HWND window, UINT msg, TAVIK_PROGRESS_PROC callback, TAVIK_PROGRESS& progress) {
    if (window != nullptr && msg != 0) {
        platform::SendMessage(window, msg, 0, reinterpret_cast<LPARAM>(&progress));
    }
    if (callback != nullptr) {
        callback(&progress);
    }
}

void notifyProgress64(HWND window, UINT msg, TAVIK_PROGRESS64_PROC callback,
                      TAVIK_PROGRESS64& progress) {
    if (window != nullptr && msg != 0) {
        platform::SendMessage(window, msg, 0, reinterpret_cast<LPARAM>(&progress));
    }
    if (callback != nullptr) {
        callback(&progress);
    }
}

} // namespace tavik
