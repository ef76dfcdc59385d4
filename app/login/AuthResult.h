// The outcome of a login, sent to the login dialog (the result window) with a synchronous send,
// so that the dialog has reacted before the sender goes on: wParam 0, lParam 1 authenticated,
// 0 failed or abandoned.
#pragma once

#include "app/socket/SocketEvents.h"

namespace tavik::app {

inline constexpr UINT WM_AUTHRESULT = WM_USER + 1053; // 2077
inline constexpr LPARAM kAuthSucceeded = 1;
inline constexpr LPARAM kAuthFailed = 0;

} // namespace tavik::app
