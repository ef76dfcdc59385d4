// A blocking IPv4 or IPv6 socket, for one-shot request/reply exchanges (the disk-information
// query). Once secured (AdoptTls), Recv and Send move the protocol's bytes through TLS. Returns: 0
// or -1 for operations, counts for Recv and Send. Every failure sets the thread's last socket error
// (platform::WSAGetLastError). The object owns its handle (closed by Close or the destructor). One
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavik::tls {
class CTlsChannel;
}

namespace tavik::app {

class CSocketBase {
public:
    static constexpr int kInvalidHandle = -1;

    CSocketBase();
    virtual ~CSocketBase();
    CSocketBase(const CSocketBase&) = delete;
    CSocketBase& operator=(const CSocketBase&) = delete;

    // The received or sent count when positive; 0 when the call would block (WSAEWOULDBLOCK)
    // or, for Recv, when the peer closed; -1 on any other failure.
    virtual int Recv(void* buffer, int size, int flags = 0);
    virtual int Send(const void* bytes, int length, int flags = 0);

    // Closes any open handle, then socket(AF_INET, type, 0); type 1 is a stream. 0 or -1. A
    // connect to an IPv6 address gives the handle a socket of that family (CSocketFamily).
    int Create(int type);
    // Sends everything in pieces of at most 1024 bytes; 0, or -1 at the first failure.
    int SendAll(const void* bytes, int length);
    void Close();
    int Shutdown(int how);
    int SetOption(int level, int name, const void* value, unsigned size);
    int GetOption(int level, int name, void* value, unsigned* size) const;
    bool GetPeerName(std::string& address, uint16_t& port) const;

    int Handle() const { return handle_; }
    // From now on Recv and Send go through the channel (made over this socket's handle); a
    // receive that times out inside TLS answers 0 as a plain one would. Close drops it.
    void AdoptTls(std::unique_ptr<tls::CTlsChannel> channel);
    bool IsSecure() const { return tls_ != nullptr; }

protected:
    int handle_ = kInvalidHandle;
    std::unique_ptr<tls::CTlsChannel> tls_;
};

} // namespace tavik::app
