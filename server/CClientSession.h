// What the server remembers about one connection: the disk it logged in to, its current folder
// ("changedir"), its open files ("fd") and its directory cursors ("hdir"). Owned and used by
// the connection's thread only.
#pragma once

#include "server/CFileDescriptor.h"
#include "server/CPathResolver.h"
#include "server/CServerConfig.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavik::server {

struct OpenFile {
    CFileDescriptor fd;
};

// The names of one folder in listing order, in ANSI, packed into one block (each name ends with
// a NUL) so that a large folder costs its names and little more.
struct DirCursor {
    std::string names;
    size_t next = 0; // offset of the next name in names

    void add(const std::string& wireName) { names.append(wireName).push_back('\0'); }
    // The next name, or null after the last.
    const char* take();
    size_t bytes() const { return names.capacity(); }
};

class CClientSession {
public:
    // Memory all cursors of a session may hold; opendir beyond it is refused.
    static constexpr size_t kMaxCursorBytes = 8 * 1024 * 1024;

    // maxOpen caps the open files and, separately, the open directory cursors.
    explicit CClientSession(int maxOpen) : maxOpen_(maxOpen) {}
    ~CClientSession();
    CClientSession(const CClientSession&) = delete;
    CClientSession& operator=(const CClientSession&) = delete;

    // A successful "setuser": forgets the files and cursors of any earlier login.
    void login(const DiskConfig& disk);
    bool loggedIn() const { return disk_ != nullptr; }
    // Whether this login agreed on 64-bit sizes and positions; each login decides anew.
    bool largeFiles() const { return largeFiles_; }
    void setLargeFiles(bool agreed) { largeFiles_ = agreed; }
    // Whether this login agreed that uploads may finish by renaming themselves.
    bool uploadCommit() const { return uploadCommit_; }
    void setUploadCommit(bool agreed) { uploadCommit_ = agreed; }
    const DiskConfig* disk() const { return disk_; }
    // Only valid while logged in.
    const CPathResolver& resolver() const { return *resolver_; }
    // "/" + disk id, UTF-8.
    const std::string& sessionPath() const { return resolver_->sessionPath(); }
    // The current folder as a request path (UTF-8); starts as the session path.
    const std::string& currentDir() const { return currentDir_; }
    void setCurrentDir(std::string path) { currentDir_ = std::move(path); }

    // The new file's number (from 1), or 0 when the session has maxOpen files open.
    int32_t addFile(OpenFile file);
    OpenFile* file(int32_t number);
    bool closeFile(int32_t number);
    // The new cursor's number, or 0 when maxOpen cursors are open or their names would
    // together pass kMaxCursorBytes.
    int32_t addDir(DirCursor cursor);
    size_t cursorBytes() const { return cursorBytes_; }
    DirCursor* dir(int32_t number);
    bool closeDir(int32_t number);

private:
    int maxOpen_;
    const DiskConfig* disk_ = nullptr;
    bool largeFiles_ = false;
    bool uploadCommit_ = false;
    std::optional<CPathResolver> resolver_;
    std::string currentDir_;
    std::map<int32_t, OpenFile> files_;
    std::map<int32_t, DirCursor> dirs_;
    int32_t nextFile_ = 1;
    int32_t nextDir_ = 1;
    size_t cursorBytes_ = 0;
};

} // namespace tavik::server
