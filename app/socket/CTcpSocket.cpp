#include "app/socket/CTcpSocket.h"

#include "app/socket/CHostResolver.h"
#include "app/socket/CSocketFamily.h"

#include "platform/AnsiCodePage.h"
#include "platform/WinsockError.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace tavik::app {

int CTcpSocket::Connect(const std::u16string& host, uint16_t port) {
    const std::vector<CHostResolver::Address> addresses =
        CHostResolver::Resolve(platform::toAnsi(host), port);
    if (addresses.empty()) {
        platform::WSASetLastError(10022);
        return -1;
    }
    // In order; the error of the last attempt is the one kept.
    for (size_t i = 0; i < addresses.size(); ++i) {
        const CHostResolver::Address& address = addresses[i];
        const bool ready = i == 0 ? CSocketFamily::Match(handle_, address.family())
                                  : CSocketFamily::Renew(handle_, address.family());
        if (ready && connect(handle_, address.get(), address.length) == 0) {
            return 0;
        }
        platform::WSASetLastError(platform::wsaErrorFromErrno(errno));
    }
    return -1;
}

} // namespace tavik::app
