#include "cli/commands/CBandwidth.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <sys/mman.h>
#include <thread>

namespace tavik::cli {

struct CBandwidth::Shared {
    std::atomic<uint64_t> moved{0};
    std::chrono::steady_clock::time_point start;
};

CBandwidth* CBandwidth::s_current = nullptr;

CBandwidth::CBandwidth(uint64_t bytesPerSecond) : m_rate(bytesPerSecond) {
    void* memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory != MAP_FAILED) {
        m_shared = new (memory) Shared();
        m_shared->start = std::chrono::steady_clock::now();
        s_current = this;
    }
}

CBandwidth::~CBandwidth() {
    if (s_current == this) {
        s_current = nullptr;
    }
    if (m_shared != nullptr) {
        m_shared->~Shared();
        munmap(m_shared, sizeof(Shared));
    }
}

void CBandwidth::account(uint64_t bytes) {
    if (m_shared == nullptr || bytes == 0) {
        return;
    }
    const uint64_t moved = m_shared->moved.fetch_add(bytes) + bytes;
    const auto due =
        m_shared->start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(static_cast<double>(moved) /
                                                            static_cast<double>(m_rate)));
    const auto now = std::chrono::steady_clock::now();
    if (due > now) {
        // At most a second at a time: the transfer's own stall watch keeps counting meanwhile.
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(due - now, std::chrono::seconds(1)));
    }
}

} // namespace tavik::cli
