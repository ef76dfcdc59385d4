// How a transfer tells its caller about progress: the window message first (sent synchronously,
// wParam 0, lParam the record's address), then the callback with the same record.
#pragma once

#include "sdk/include/TavikLargeFiles.h"
#include "sdk/include/TavikTransfer.h"

#include <atomic>

namespace tavik {

void notifyProgress(HWND window, UINT msg, TAVIK_PROGRESS_PROC callback, TAVIK_PROGRESS& progress);
void notifyProgress64(HWND window, UINT msg, TAVIK_PROGRESS64_PROC callback,
                      TAVIK_PROGRESS64& progress);

// Reads a caller's cancel flag (null: never cancelled). The caller may set it from any thread.
inline bool cancelRequested(int* cancel) {
    return cancel != nullptr && std::atomic_ref<int>(*cancel).load(std::memory_order_relaxed) != 0;
}

} // namespace tavik
