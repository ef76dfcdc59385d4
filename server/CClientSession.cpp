#include "server/CClientSession.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <malloc.h>

namespace tavik::server {

namespace {

// Handle numbers run from 1 upwards and never repeat within a session, so a stale number
// from a closed handle can never reach a newer one; 0 stays "no handle".
int32_t nextNumber(int32_t& counter) {
    const int32_t number = counter;
    counter = counter == INT32_MAX ? 1 : counter + 1;
    return number;
}

// Cursor names are returned to the system rather than kept by the allocator (the program asks
// it to keep freed memory for its packets, and every connection thread's arena keeps what that
// thread freed). What all sessions free is counted together: sessions that each held little
// would otherwise never trim, however many of them came and went.
constexpr size_t kTrimAfter = 1024 * 1024;

void giveBack(size_t bytes) {
    static std::atomic<size_t> freed{0};
    if (bytes == 0 || freed.fetch_add(bytes) + bytes < kTrimAfter) {
        return;
    }
    // One thread trims for all that was counted; another that came at the same time puts back
    // what it took.
    const size_t taken = freed.exchange(0);
    if (taken >= kTrimAfter) {
        ::malloc_trim(0);
    } else {
        freed.fetch_add(taken);
    }
}

} // namespace

const char* DirCursor::take() {
    if (next >= names.size()) {
        return nullptr;
    }
    const char* name = names.c_str() + next;
    next += std::strlen(name) + 1;
    return name;
}

CClientSession::~CClientSession() {
    dirs_.clear();
    giveBack(cursorBytes_);
}

void CClientSession::login(const DiskConfig& disk) {
    files_.clear();
    dirs_.clear();
    giveBack(cursorBytes_);
    cursorBytes_ = 0;
    disk_ = &disk;
    largeFiles_ = false;
    uploadCommit_ = false;
    resolver_.emplace(disk.root, "/" + disk.id);
    currentDir_ = resolver_->sessionPath();
}

int32_t CClientSession::addFile(OpenFile file) {
    if (static_cast<int>(files_.size()) >= maxOpen_) {
        return 0;
    }
    const int32_t number = nextNumber(nextFile_);
    files_.emplace(number, std::move(file));
    return number;
}

OpenFile* CClientSession::file(int32_t number) {
    const auto found = files_.find(number);
    return found == files_.end() ? nullptr : &found->second;
}

bool CClientSession::closeFile(int32_t number) {
    return files_.erase(number) == 1;
}

int32_t CClientSession::addDir(DirCursor cursor) {
    cursor.names.shrink_to_fit();
    if (static_cast<int>(dirs_.size()) >= maxOpen_ ||
        cursorBytes_ + cursor.bytes() > kMaxCursorBytes) {
        return 0;
    }
    cursorBytes_ += cursor.bytes();
    const int32_t number = nextNumber(nextDir_);
    dirs_.emplace(number, std::move(cursor));
    return number;
}

DirCursor* CClientSession::dir(int32_t number) {
    const auto found = dirs_.find(number);
    return found == dirs_.end() ? nullptr : &found->second;
}

bool CClientSession::closeDir(int32_t number) {
    const auto found = dirs_.find(number);
    if (found == dirs_.end()) {
        return false;
    }
    const size_t bytes = found->second.bytes();
    dirs_.erase(found);
    cursorBytes_ -= bytes;
    giveBack(bytes);
    return true;
}

} // namespace tavik::server
