// The library's process-wide last error: one code, one text, and the buffer that
// tavik_FormatMessage returns. Only export functions (through ExportCall.h) write it.
//
// Threading: any number of threads may set and read it at once. Concurrent failures still
// overwrite each other (the store is one per process, as its callers expect), but never tear or
// free what another thread reads:
// - the code is one atomic word;
// - each text is an immutable heap string, replaced as a whole under a lock. A reader keeps the
//   string it was last given alive (one per thread), so a pointer from text() stays valid until
//   the text changes and the same thread asks again, or the thread ends, whatever other threads
//   store meanwhile;
// - the format buffer is one per thread: each thread's later calls overwrite its own buffer, and
//   no other thread's call can change or free it.
#pragma once

#include "sdk/core/Result.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tavik {

class CLastError {
public:
    static CLastError& instance();

    int32_t code() const { return code_.load(std::memory_order_relaxed); }
    // The stored text, valid as described above.
    const char16_t* text() const;
    // Stores the code and mirrors it into the thread's errno, the platform's per-thread value.
    void setCode(int32_t code);
    void setText(std::u16string text);
    void apply(const ErrorReport& report);
    // Fills the calling thread's format buffer with the code's text and returns it. The buffer
    // never moves, so a pointer from an earlier call on the same thread stays valid and shows
    // that thread's latest text.
    const char16_t* format(int32_t code);

private:
    using Text = std::shared_ptr<const std::u16string>;

    std::atomic<int32_t> code_{0};
    mutable std::mutex textLock_;
    Text text_ = std::make_shared<const std::u16string>();
};

// The fixed text of an error code, empty for codes without one.
const char* errorText(int32_t code);

} // namespace tavik
