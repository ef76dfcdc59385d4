#include "server/CSpaceLedger.h"

#include <utility>

namespace tavik::server {

CSpaceLedger::CReservation::CReservation(CReservation&& other) noexcept
    : ledger_(std::exchange(other.ledger_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

CSpaceLedger::CReservation& CSpaceLedger::CReservation::operator=(CReservation&& other) noexcept {
    if (this != &other) {
        release();
        ledger_ = std::exchange(other.ledger_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void CSpaceLedger::CReservation::release() {
    if (ledger_ != nullptr) {
        std::lock_guard lock(ledger_->mutex_);
        ledger_->reserved_ -= bytes_;
    }
    ledger_ = nullptr;
    bytes_ = 0;
}

bool CSpaceLedger::reserve(uint64_t bytes, const std::function<uint64_t()>& freeBytes,
                           CReservation& out) {
    out.release(); // before the lock: it may hold a reservation of this ledger
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
