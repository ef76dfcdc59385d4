#include "server/CSpaceLedger.h"

#include "server/CServiceStore.h"

#include <utility>

namespace tavik::server {

CSpaceLedger::CReservation::CReservation(CReservation&& other) noexcept
    : ledger_(std::exchange(other.ledger_, nullptr)), bytes_(std::exchange(other.bytes_, 0)),
      hold_(std::exchange(other.hold_, 0)) {}

CSpaceLedger::CReservation& CSpaceLedger::CReservation::operator=(CReservation&& other) noexcept {
    if (this != &other) {
        release();
        ledger_ = std::exchange(other.ledger_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
        hold_ = std::exchange(other.hold_, 0);
    }
    return *this;
}

void CSpaceLedger::CReservation::release() {
    if (ledger_ != nullptr && hold_ != 0) {
        // A reservation the store cannot take back now goes when this process's session with
        // the store ends.
        ledger_->store_->releaseSpace({hold_, bytes_});
    } else if (ledger_ != nullptr) {
        std::lock_guard lock(ledger_->mutex_);
        ledger_->reserved_ -= bytes_;
    }
    ledger_ = nullptr;
    bytes_ = 0;
    hold_ = 0;
}

void CSpaceLedger::share(std::shared_ptr<CServiceStore> store, std::string disk) {
    std::lock_guard lock(mutex_);
    store_ = std::move(store);
    disk_ = std::move(disk);
}

bool CSpaceLedger::reserve(uint64_t bytes, const std::function<uint64_t()>& freeBytes,
                           CReservation& out) {
    out.release(); // before the lock: it may hold a reservation of this ledger
    std::shared_ptr<CServiceStore> store;
    std::string disk;
    {
        std::lock_guard lock(mutex_);
        store = store_;
        disk = disk_;
    }
    if (store) {
        // This process's own running writes are in the store's sum already.
        auto held = store->reserveSpace(disk, bytes, freeBytes);
        if (held) {
            if (!*held) {
                return false;
            }
            out = CReservation(this, bytes, (*held)->id);
            return true;
        }
    }
    return reserveLocally(bytes, freeBytes, out);
}

bool CSpaceLedger::reserveLocally(uint64_t bytes, const std::function<uint64_t()>& freeBytes,
                                  CReservation& out) {
    std::lock_guard lock(mutex_);
    const uint64_t free = freeBytes();
    const uint64_t left = free > reserved_ ? free - reserved_ : 0;
    if (bytes > left) {
        return false;
    }
    reserved_ += bytes;
    out = CReservation(this, bytes);
    return true;
}

uint64_t CSpaceLedger::reserved() const {
    std::lock_guard lock(mutex_);
    return reserved_;
}

} // namespace tavik::server
