// The client socket of the disk-information query: a CTcpSocket; the caller creates it with
// Create(1) and connects.
#pragma once

#include "app/socket/CTcpSocket.h"

namespace tavik::app {

class CTcpClient : public CTcpSocket {
public:
    CTcpClient() = default;
};

} // namespace tavik::app
