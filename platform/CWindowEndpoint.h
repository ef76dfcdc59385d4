// Windows of other processes on the host: a window that another program must find (by its
// window class or its title) or notify (by the handle it was given on a command line) owns a
// named endpoint, an abstract Unix-domain datagram socket in the current user's part of the
// namespace. A window message to it travels as one record (msg, wParam, lParam).
//
// Names: "class:<window class>", "title:<window title>" and "hwnd:<decimal handle>", UTF-8.
// Several windows may share a class or a title (two running copies of one program): each
// binds the first free instance of the name, and Find lists them in instance order.
// TAVIK_WINDOW_SCOPE, when set, makes a separate namespace (tests, and programs they start,
// meet only each other).
//
// Abstract names carry no permissions, so anyone on the machine can send to them: a bound
// endpoint asks the kernel for each sender's credentials and Receive hands over only records
// sent by processes of the current user. Receivers still treat wParam and lParam as plain
// numbers from outside, never as pointers, sizes or handles.
//
// Ownership: the object owns its socket and closes it on destruction, which makes the name
// free again at once (abstract names leave no file behind). Errors are errno values.
// Threads: one object per thread; the static functions are thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::platform {

inline constexpr uint32_t kWmClose = 0x0010;

struct EndpointRecord {
    uint32_t msg = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    bool operator==(const EndpointRecord&) const = default;
};

class CWindowEndpoint {
public:
    // How many windows may share one name.
    static constexpr int kMaxInstances = 8;

    CWindowEndpoint() = default;
    ~CWindowEndpoint();
    CWindowEndpoint(const CWindowEndpoint&) = delete;
    CWindowEndpoint& operator=(const CWindowEndpoint&) = delete;

    static std::string ClassName(std::u16string_view windowClass);
    static std::string TitleName(std::u16string_view title);
    static std::string HandleName(int handle);
    // False for a name too long for a socket address (such a window cannot exist).
    static bool IsValidName(const std::string& name);

    // Binds the first free instance of the name. 0, EADDRINUSE when every instance is taken,
    // ENAMETOOLONG for a name the socket address cannot hold, EBUSY when already bound, or the
    // socket's own errno.
    int Bind(const std::string& name);
    // Binds "hwnd:<n>" for a handle number of this process that no other window uses, and
    // gives the number (a positive int) in handle.
    int BindHandle(int& handle);
    void Close();

    // The socket to watch for readability (-1 when not bound).
    int Descriptor() const { return fd_; }
    // The next waiting record without blocking; false when none is waiting. Datagrams that are
    // not exactly one record, or that come from another user's process, are dropped.
    bool Receive(EndpointRecord& record);

    // The bound instances of a name, as socket addresses for Post, in instance order.
    static std::vector<std::string> Find(const std::string& name);
    // Sends one record to an address from Find; false when nobody is bound there.
    static bool Post(const std::string& address, const EndpointRecord& record);
    // Posts to the first instance of a name; false when none is bound.
    static bool PostToFirst(const std::string& name, const EndpointRecord& record);

private:
    int fd_ = -1;
};

} // namespace tavik::platform
