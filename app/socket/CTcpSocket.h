// A blocking TCP socket that connects to a host (IPv4 or IPv6 address or a name, CHostResolver),
// trying the host's addresses in order.
#pragma once

#include "app/socket/CSocketBase.h"

#include <string>

namespace tavik::app {

class CTcpSocket : public CSocketBase {
public:
    // host in UTF-16, converted to the ANSI code page. 0, or -1 when the name does not resolve
    // (WSAEINVAL, 10022), there is no socket, or connect() fails (its error).
    int Connect(const std::u16string& host, uint16_t port);
};

} // namespace tavik::app
