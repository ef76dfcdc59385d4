// Sockets are made before the host they connect to is known, and a host may have IPv6 and IPv4
// addresses. Match gives a descriptor a fresh socket of the wanted family in place (the same
// descriptor number, so that nothing holding the number goes stale), carrying over what its
// owner set on the old one: the type, non-blocking mode, and send and receive time-outs. A local
// port is not carried over: this program's sockets bind port 0, and connect picks one for the
// new socket. Call it only while no other thread uses the descriptor.
#pragma once

namespace tavik::app {

class CSocketFamily {
public:
    // True when fd already has family or now has a fresh socket of it; false with errno set.
    static bool Match(int fd, int family);
    // Always a fresh socket of family: after a failed connect, the next address is tried on a
    // socket that has never connected.
    static bool Renew(int fd, int family);
};

} // namespace tavik::app
