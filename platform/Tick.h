// The millisecond tick counter: steady-clock milliseconds as a wrapping 32-bit value. Elapsed
// times are differences in unsigned arithmetic.
#pragma once

#include <cstdint>

namespace tavik::platform {

uint32_t GetTickCount();

} // namespace tavik::platform
