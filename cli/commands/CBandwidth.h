// --bwlimit: one byte budget for the whole run, shared by the parallel workers (it lives in
// memory mapped before they are forked). Each transfer reports the bytes it moved; whoever is
// ahead of RATE × time since the start sleeps until the run is back on the line. The sleep
// happens inside the library's progress notice, so the transfer itself waits.
#pragma once

#include <cstdint>

namespace tavik::cli {

class CBandwidth {
public:
    explicit CBandwidth(uint64_t bytesPerSecond);
    ~CBandwidth();
    CBandwidth(const CBandwidth&) = delete;
    CBandwidth& operator=(const CBandwidth&) = delete;

    // The limit of this run, if any (set by the constructor, cleared by the destructor); workers
    // inherit it with the rest of their parent's memory.
    static CBandwidth* current() { return s_current; }
    void account(uint64_t bytes);

private:
    struct Shared;
    Shared* m_shared = nullptr;
    uint64_t m_rate;
    static CBandwidth* s_current;
};

} // namespace tavik::cli
