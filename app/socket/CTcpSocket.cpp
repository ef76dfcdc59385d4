#include "app/socket/CTcpSocket.h"

#include "app/socket/CHostResolver.h"

#include "platform/AnsiCodePage.h"
#include "platform/WinsockError.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace tavik::app {

int CTcpSocket::Connect(const std::u16string& host, uint16_t port) {
    std::optional<uint32_t> address = CHostResolver::Resolve(platform::toAnsi(host));
    if (!address) {
        platform::WSASetLastError(10022);
        return -1;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = *address;
    remote.sin_port = htons(port);
    if (connect(handle_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        platform::WSASetLastError(platform::wsaErrorFromErrno(errno));
        return -1;
    }
    return 0;
}

} // namespace tavik::app
