// The socket event message and its codes: the poll thread reports readiness to the
// "SockHandler" window with WM_SOCKEVENT, wParam = the code, lParam = the socket handle.
#pragma once

#include "sdk/include/TavikTypes.h"

namespace tavik::app {

inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_SOCKEVENT = WM_USER + 1000; // 2024
inline constexpr WPARAM kSockEventConnect = 100;
inline constexpr WPARAM kSockEventClose = 200;
inline constexpr WPARAM kSockEventReceive = 300;
inline constexpr WPARAM kSockEventAccept = 500;

// The hidden window's name and control identifier.
inline constexpr const char16_t* kSockHandlerName = u"SockHandler";
inline constexpr int kSockHandlerControlId = 10000;

} // namespace tavik::app
