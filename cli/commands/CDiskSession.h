// One logged-in session with the disk server for the duration of a command, and the lookups
// every command needs: the session folder, full remote paths, one entry, a folder's entries.
// Failures return nothing and leave the library's last error for failure() to describe.
#pragma once

#include "cli/core/CCommandLine.h"
#include "cli/core/CListing.h"

#include <TavikSDK.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::cli {

class CDiskSession {
public:
    // Connects and logs in; null with *error set (a printable line) on failure.
    static std::unique_ptr<CDiskSession> open(const Invocation& inv, std::string* error);
    ~CDiskSession();
    CDiskSession(const CDiskSession&) = delete;
    CDiskSession& operator=(const CDiskSession&) = delete;

    TAVIK_SESSION handle() const { return m_handle; }
    // Whether the server agreed on 64-bit sizes and positions at the last login.
    bool largeFiles() const { return tavik_IsLargeFileSession(m_handle) != 0; }
    // The session folder the login reported (UTF-8), "/" when the server sent none.
    const std::string& path() const { return m_path; }
    // A remote path as typed (a path on the disk, "/" its root), made full.
    std::string resolve(std::string_view typed) const;
    // A full remote path as messages show it: from the disk's root, as the user types it.
    std::string shown(std::string_view fullPath) const;

    // The entry at a full remote path ("getfileinfo" of the path itself).
    std::optional<RemoteEntry> stat(const std::string& fullPath) const;
    // The entries of a remote folder, without the folder itself, in the server's order.
    std::optional<std::vector<RemoteEntry>> list(const std::string& folder) const;

    // The printable line for the library's last error, with what was being done. A connection
    // failure after nothing happened for the whole time-out is reported as a time-out.
    static std::string failure(std::string_view context);
    // Something moved (a reply, transfer progress): the time-out is counted from here.
    static void noteActivity();
    static int lastErrorCode();

private:
    explicit CDiskSession(TAVIK_SESSION handle);
    std::optional<std::vector<RemoteEntry>> query(const std::string& path, int level) const;

    TAVIK_SESSION m_handle;
    std::string m_path;
    static int s_timeoutMs;
};

} // namespace tavik::cli
