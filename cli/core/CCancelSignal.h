// Ctrl-C during a transfer: instead of killing the program mid-file, the first SIGINT sets the
// flag that the library reads between blocks, so the transfer stops cleanly and the command
// reports it. A second SIGINT, while the library is still busy, ends the program the usual way.
// The previous handler is restored when the guard goes away. One guard at a time.
#pragma once

#include <csignal>
#include <type_traits>

namespace tavik::cli {

class CCancelSignal {
public:
    CCancelSignal();
    ~CCancelSignal();
    CCancelSignal(const CCancelSignal&) = delete;
    CCancelSignal& operator=(const CCancelSignal&) = delete;

    // The flag to hand to the transfer as its cancel pointer; non-zero once SIGINT arrived.
    // The library reads it through a plain int pointer once per block, across a call boundary,
    // so every read sees the handler's store.
    int* flag() { return const_cast<int*>(&s_flag); }
    bool cancelled() const { return s_flag != 0; }

private:
    static void onInterrupt(int signal);

    // The library takes the flag as an int; sig_atomic_t is that type here, so the handler's
    // store is async-signal-safe.
    static_assert(std::is_same_v<std::sig_atomic_t, int>);
    static volatile std::sig_atomic_t s_flag;
    struct sigaction m_previous {};
    bool m_installed = false;
};

} // namespace tavik::cli
