// A blocking TCP connection to 127.0.0.1:port made from another loopback address (127.x.y.z), so
// that one test can play many client addresses. With connectTimeoutMs > 0 the connect (and every
// later send) gives up after that long. Returns the descriptor, which the caller owns, or -1.
#pragma once

#include <cstdint>
#include <string>

namespace tavik::test {

int connectLoopbackFrom(const std::string& source, uint16_t port, int connectTimeoutMs = 0);

} // namespace tavik::test
