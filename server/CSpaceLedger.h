// The space of one disk promised to writes that are still running. A write first reserves the
// bytes it may add; the check against the free space and the reservation happen under one lock,
// so two uploads started together can never both count on the same free bytes. A reservation
// is given back when its CReservation goes. Thread-safe; shared by all sessions of a disk.
//
// A ledger shared through the service store (share()) counts the reservations of every disk
// server serving the same disk, so that several of them over one folder never promise its space
// twice. While the store cannot be reached, the ledger counts this process's writes alone, so
// that running transfers go on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tavik::server {

class CServiceStore;

class CSpaceLedger {
public:
    // Holds reserved bytes until destroyed (movable, not copyable).
    class CReservation {
    public:
        CReservation() = default;
        // hold: the store's id of a shared reservation; 0 for one of this process alone.
        CReservation(CSpaceLedger* ledger, uint64_t bytes, int64_t hold = 0)
            : ledger_(ledger), bytes_(bytes), hold_(hold) {}
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
        int64_t hold_ = 0;
    };

    // From now on reserves through store under the disk's name (every disk server of the disk
    // must use the same). store must outlive the reservations made through it.
    void share(std::shared_ptr<CServiceStore> store, std::string disk);

    // Reserves bytes when freeBytes() (asked under the lock) minus what others reserved leaves
    // room for them; false otherwise. freeBytes returns UINT64_MAX when it cannot tell.
    bool reserve(uint64_t bytes, const std::function<uint64_t()>& freeBytes, CReservation& out);
    uint64_t reserved() const;

private:
    bool reserveLocally(uint64_t bytes, const std::function<uint64_t()>& freeBytes,
                        CReservation& out);

    mutable std::mutex mutex_;
    uint64_t reserved_ = 0;
    std::shared_ptr<CServiceStore> store_;
    std::string disk_;
};

} // namespace tavik::server
