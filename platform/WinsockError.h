// Winsock-style socket error codes over errno. The last socket error is per thread, like the
// original's WSAGetLastError; EWOULDBLOCK/EAGAIN read as WSAEWOULDBLOCK.
#pragma once

namespace tavik::platform {

inline constexpr int WSAEWOULDBLOCK = 10035;

// The WSA code for an errno value (0 for 0; an errno without a WSA counterpart maps to
// 10000 + errno so that no failure ever reads as success).
int wsaErrorFromErrno(int err);
int WSAGetLastError();
void WSASetLastError(int code);

} // namespace tavik::platform
