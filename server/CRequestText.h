// A disk-server request's arguments as one printable text, for debug lines: the items the
// server's commands read, in a fixed order, as name=value (texts quoted and made printable,
// 64-bit items as numbers). A password is never shown, only that one was given. Pure.
#pragma once

#include <string>

namespace tavik {
class CPacket;
}

namespace tavik::server {

class CRequestText {
public:
    // "path=\"/d/a.txt\" startpos=1 endpos=5"; empty when the request has none of the items.
    static std::string arguments(const CPacket& request);
};

} // namespace tavik::server
