// One TCP connection to a disk server: connect, close, readiness waits with millisecond
// time-outs (-1: no limit), partial and complete sends and receives, and one packet per
// SendPacket/ReceivePacket. Owned by exactly one CSession and used under its lock. Transport
// operations never touch the library's last error; they clear and read only the thread's socket
// error. Every failing SendPacket/ReceivePacket closes the connection.
#pragma once

#include <cstdint>

namespace tavik {

class CPacket;

class CConnection {
public:
    CConnection() = default;
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Host is ANSI text: a dotted IPv4 address, or a name that is resolved.
    bool Connect(const char* host, uint16_t port, bool blocking);
    void Close();
    bool IsOpen() const { return socket_ >= 0; }
    int Socket() const { return socket_; }
    bool SetBlocking(bool blocking);
    // Either flag may be null; on return each given flag tells whether the socket is ready.
    bool WaitReady(bool* wantRead, bool* wantWrite, int32_t timeoutMs);
    // One readiness wait and at most one send/recv: count, 0 (time-out or would block) or -1.
    int SendSome(const void* bytes, int count, int32_t timeoutMs);
    int RecvSome(void* buffer, int count, int32_t timeoutMs);
    bool SendAll(const void* bytes, int count, int32_t timeoutMs);
    bool RecvAll(void* buffer, int count, int32_t timeoutMs);
    // 16 + body length, or -1 (allocation, binary), -2 (allocation, text), -3 (serialise),
    // -4 (send).
    int SendPacket(CPacket& packet, int32_t timeoutMs);
    // 16 + body length, or -1 (short read), -2 (time used up by the header), -3 (body length),
    // -4 (allocation), -5 (parse).
    int ReceivePacket(CPacket& packet, int32_t timeoutMs);

private:
    // Takes what has already arrived, without waiting: the count (0 when nothing is there yet),
    // or -1 when the connection failed or the peer closed it. A packet's body nearly always
    // arrives with its header, so this saves a readiness wait per packet.
    int takeArrived(void* buffer, int count);

    int socket_ = -1;
};

} // namespace tavik
