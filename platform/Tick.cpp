#include "platform/Tick.h"

#include <chrono>

namespace tavik::platform {

uint32_t GetTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

} // namespace tavik::platform
