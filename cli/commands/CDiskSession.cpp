#include "cli/commands/CDiskSession.h"

#include "cli/core/CErrorReport.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CUtf8.h"

#include <chrono>

namespace tavik::cli {

namespace {

constexpr int kAllFields = TAVIK_INFO_FILES | TAVIK_INFO_FOLDERS | TAVIK_INFO_PATH |
                           TAVIK_INFO_SIZE | TAVIK_INFO_TYPE | TAVIK_INFO_DATE;

std::string text(LPCWSTR wide) {
    return wide == nullptr ? std::string() : CUtf8::fromUtf16(wide);
}

// Closes a file-information list on every path out of a lookup.
struct ListCloser {
    void operator()(TAVIK_FILEINFO_LIST* list) const { tavik_CloseFileInfo(list); }
};

using Clock = std::chrono::steady_clock;
Clock::time_point s_lastActivity = Clock::now();

} // namespace

int CDiskSession::s_timeoutMs = -1;

void CDiskSession::noteActivity() {
    s_lastActivity = Clock::now();
}

CDiskSession::CDiskSession(TAVIK_SESSION handle) : m_handle(handle) {
    m_path = text(tavik_GetSessionPath(handle));
    if (m_path.empty()) {
        m_path = "/";
    }
}

CDiskSession::~CDiskSession() {
    tavik_DestroySession(m_handle);
}

std::unique_ptr<CDiskSession> CDiskSession::open(const Invocation& inv, std::string* error) {
    const std::u16string host = CUtf8::toUtf16(inv.host);
    const std::u16string disk = CUtf8::toUtf16(inv.disk);
    s_timeoutMs = inv.timeoutMs;
    noteActivity();
    std::u16string password;
    if (inv.password) {
        password = CUtf8::toUtf16(*inv.password);
    }
    TAVIK_SESSION handle =
        tavik_CreateSession(host.c_str(), inv.port, disk.c_str(),
                            inv.password ? password.c_str() : nullptr, inv.timeoutMs);
    if (handle == nullptr) {
        *error = failure("log in to " + inv.host + ":" + std::to_string(inv.port) + " as disk " +
                         inv.disk);
        return nullptr;
    }
    noteActivity();
    return std::unique_ptr<CDiskSession>(new CDiskSession(handle));
}

std::string CDiskSession::resolve(std::string_view typed) const {
    return CRemotePath::resolve(m_path, typed);
}

std::string CDiskSession::shown(std::string_view fullPath) const {
    return CRemotePath::onDisk(m_path, fullPath);
}

std::optional<std::vector<RemoteEntry>> CDiskSession::query(const std::string& path,
                                                            int level) const {
    const std::u16string wide = CUtf8::toUtf16(path);
    int count = 0;
    std::unique_ptr<TAVIK_FILEINFO_LIST, ListCloser> list(
        tavik_OpenFileInfo(wide.c_str(), kAllFields, level, &count, m_handle));
    if (!list) {
        return std::nullopt;
    }
    noteActivity();
    std::vector<RemoteEntry> entries;
    for (int i = 0; i < count; ++i) {
        const TAVIK_FILEINFO* info = tavik_ReadFileInfo(list.get(), i);
        if (info == nullptr) {
            break;
        }
        RemoteEntry entry;
        entry.path = text(info->pszName);
        // The full size when the server sent one beyond 32 bits, else the 32-bit one.
        const int64_t size = tavik_GetFileInfoSize64(list.get(), i);
        entry.size = size >= 0 ? static_cast<uint64_t>(size) : info->dwSize;
        entry.folder = info->dwType == TAVIK_TYPE_FOLDER;
        entry.date = text(info->pszDate);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<RemoteEntry> CDiskSession::stat(const std::string& fullPath) const {
    auto entries = query(fullPath, 0);
    if (!entries) {
        return std::nullopt;
    }
    if (entries->size() != 1) {
        // A server that answers a lookup with no or several entries has no single entry there.
        tavik_SetLastError(TAVIK_ERR_NOT_EXIST);
        tavik_SetLastErrStr(u"");
        return std::nullopt;
    }
    return entries->front();
}

std::optional<std::vector<RemoteEntry>> CDiskSession::list(const std::string& folder) const {
    auto entries = query(folder, 1);
    if (!entries) {
        return std::nullopt;
    }
    // With folders asked for, the server lists the folder itself among its children.
    std::erase_if(*entries,
                  [&](const RemoteEntry& e) { return CRemotePath::same(e.path, folder); });
    return entries;
}

int CDiskSession::lastErrorCode() {
    return tavik_GetLastError();
}

std::string CDiskSession::failure(std::string_view context) {
    const int code = tavik_GetLastError();
    // Copy the server's text first: FormatMessage's buffer is shared, the stored text is not.
    const std::string server = text(tavik_GetLastErrStr());
    const std::string library = text(tavik_FormatMessage(code));
    const auto quiet =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s_lastActivity);
    if (code == TAVIK_ERR_SOCKET && s_timeoutMs >= 0 &&
        (server == "time-out" || quiet.count() >= s_timeoutMs)) {
        return "tavik: " + std::string(context) + ": timed out: nothing came from the server for " +
               std::to_string(s_timeoutMs) + " ms (--timeout)";
    }
    return CErrorReport::compose(context, code, library, server);
}

} // namespace tavik::cli
