// The space of one disk promised to writes that are still running. A write first reserves the
// bytes it may add; the check against the free space and the reservation happen under one lock,
// so two uploads started together can never both count on the same free bytes. A reservation
// is given back when its CReservation goes. Thread-safe; shared by all sessions of a disk.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace tavik::server {

class CSpaceLedger {
public:
    // Holds reserved bytes until destroyed (movable, not copyable).
    class CReservation {
    public:
        CReservation() = default;
        CReservation(CSpaceLedger* ledger, uint64_t bytes) : ledger_(ledger), bytes_(bytes) {}
        ~CReservation() { release(); }
        CReservation(CReservation&& other) noexcept;
        CReservation& operator=(CReservation&& other) noexcept;
        CReservation(const CReservation&) = delete;
        CReservation& operator=(const CReservation&) = delete;
        uint64_t bytes() const { return bytes_; }
        void release();

    private:
        CSpaceLedger* ledger_ = nullptr;
        uint64_t bytes_ = 0;
    };

    // Reserves bytes when freeBytes() (asked under the lock) minus what others reserved leaves
    // room for them; false otherwise. freeBytes returns UINT64_MAX when it cannot tell.
    bool reserve(uint64_t bytes, const std::function<uint64_t()>& freeBytes, CReservation& out);
    uint64_t reserved() const;

private:
    mutable std::mutex mutex_;
    uint64_t reserved_ = 0;
};

} // namespace tavik::server
