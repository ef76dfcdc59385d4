// What the library answers when it asks which platform it runs on (GetVersionEx). This build
// stands in for the handheld, so it reports the handheld's platform and every step meant for
// it runs.
#pragma once

namespace tavik::drive {

inline constexpr int kPlatformWin32Ce = 3;

inline int platformId() {
    return kPlatformWin32Ce;
}

} // namespace tavik::drive
