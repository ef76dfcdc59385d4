#include "server/CPasswordHash.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavik::server {

struct CPasswordHash::Stored {
    mutable std::mutex mutex;
    std::string text;
};

namespace {

bool sodiumReady() {
    // sodium_init is safe to call more than once, but once is enough.
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}

// Admits a check when a core is free and its memory fits the budget beside the running ones.
class CCheckGate {
public:
    static CCheckGate& instance() {
        static CCheckGate gate;
        return gate;
    }

    void enter(uint64_t memoryKiB) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return running_ == 0 || (running_ < CPasswordHash::concurrentChecks() &&
                                     usedKiB_ + memoryKiB <= CPasswordHash::kMemoryBudgetKiB);
        });
        ++running_;
        usedKiB_ += memoryKiB;
    }

    void leave(uint64_t memoryKiB) {
        {
            std::lock_guard lock(mutex_);
            --running_;
            usedKiB_ -= memoryKiB;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
    uint64_t usedKiB_ = 0;
};

class CCheckSlot {
public:
    explicit CCheckSlot(uint64_t memoryKiB) : memoryKiB_(memoryKiB) {
        CCheckGate::instance().enter(memoryKiB_);
    }
    ~CCheckSlot() { CCheckGate::instance().leave(memoryKiB_); }
    CCheckSlot(const CCheckSlot&) = delete;
    CCheckSlot& operator=(const CCheckSlot&) = delete;

private:
    uint64_t memoryKiB_;
};

// The memory cost ("m=" in KiB) a hash text names; the budget itself when unreadable, so that
// such a check runs alone.
uint64_t memoryOf(std::string_view text) {
    const size_t at = text.find("$m=");
    if (at == std::string_view::npos) {
        return CPasswordHash::kMemoryBudgetKiB;
    }
    uint64_t value = 0;
    for (size_t i = at + 3; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[i] - '0'),
                                   CPasswordHash::kMemoryBudgetKiB);
    }
    return value;
}

using Digest = std::array<unsigned char, crypto_generichash_BYTES>;

Digest digestOf(std::string_view text) {
    Digest digest{};
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr,
                       0);
    return digest;
}

} // namespace

CPasswordHash::CPasswordHash(std::string stored, bool plain)
    : stored_(std::make_shared<Stored>()), plain_(plain) {
    stored_->text = std::move(stored);
}

int CPasswordHash::concurrentChecks() {
    static const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return cores;
}

bool CPasswordHash::looksLikeHash(std::string_view text) {
    return text.substr(0, kHashPrefix.size()) == kHashPrefix;
}

std::optional<CPasswordHash> CPasswordHash::fromHash(std::string_view text) {
    if (!sodiumReady() || !looksLikeHash(text) || text.size() >= crypto_pwhash_STRBYTES) {
        return std::nullopt;
    }
    const std::string stored(text);
    // needs_rehash parses the text and answers -1 for anything that is not a valid hash.
    if (::crypto_pwhash_str_needs_rehash(stored.c_str(), kOpsLimit, kMemoryKiB * 1024) < 0) {
        return std::nullopt;
    }
    return CPasswordHash(stored, false);
}

CPasswordHash CPasswordHash::fromPlain(std::string_view password) {
    return CPasswordHash(std::string(password), true);
}

std::optional<std::string> CPasswordHash::hash(std::string_view password) {
    if (!sodiumReady()) {
        return std::nullopt;
    }
    std::array<char, crypto_pwhash_STRBYTES> text{};
    CCheckSlot slot(kMemoryKiB);
    if (::crypto_pwhash_str_alg(text.data(), password.data(), password.size(), kOpsLimit,
                                kMemoryKiB * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(text.data());
}

std::string CPasswordHash::storedText() const {
    std::lock_guard lock(stored_->mutex);
    return stored_->text;
}

bool CPasswordHash::needsRehash() const {
    return !plain_ && ::crypto_pwhash_str_needs_rehash(storedText().c_str(), kOpsLimit,
                                                       kMemoryKiB * 1024) != 0;
}

void CPasswordHash::upgrade(std::string_view given) const {
    const std::optional<std::string> fresh = hash(given);
    if (!fresh) {
        return; // the old form still works
    }
    std::lock_guard lock(stored_->mutex);
    stored_->text = *fresh;
}

bool CPasswordHash::matches(std::string_view given) const {
    if (!sodiumReady()) {
        return false;
    }
    const std::string stored = storedText();
    if (plain_) {
        // Equal-length digests compared in constant time: neither the position of the first
        // difference nor the password's length shows in the time taken.
        const Digest a = digestOf(stored);
        const Digest b = digestOf(given);
        return ::sodium_memcmp(a.data(), b.data(), a.size()) == 0;
    }
    bool matched = false;
    {
        CCheckSlot slot(memoryOf(stored));
        matched = ::crypto_pwhash_str_verify(stored.c_str(), given.data(), given.size()) == 0;
    }
    if (matched && needsRehash()) {
        upgrade(given);
    }
    return matched;
}

} // namespace tavik::server
