// The library's process-wide last error: one code, one text, and the buffer that
// tavik_FormatMessage returns. Not locked, like the design it serves: concurrent failures
// overwrite each other. Only export functions (through ExportCall.h) write it.
#pragma once

#include "sdk/core/Result.h"

#include <array>
#include <cstdint>
#include <string>

namespace tavik {

class CLastError {
public:
    static CLastError& instance();

    int32_t code() const { return code_; }
    const std::u16string& text() const { return text_; }
    // Stores the code and mirrors it into the thread's errno, the platform's per-thread value.
    void setCode(int32_t code);
    void setText(std::u16string text);
    void apply(const ErrorReport& report);
    // Fills the shared format buffer with the code's text and returns it. The buffer never
    // moves, so a pointer from an earlier call stays valid and shows the latest text.
    const char16_t* format(int32_t code);

private:
    int32_t code_ = 0;
    std::u16string text_;
    std::array<char16_t, 64> formatted_{};
};

// The fixed text of an error code, empty for codes without one.
const char* errorText(int32_t code);

} // namespace tavik
