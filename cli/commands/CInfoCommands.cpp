#include "cli/commands/CInfoCommands.h"

#include "cli/commands/CExitCode.h"
#include "cli/commands/CRemoteGlob.h"
#include "cli/core/CGlob.h"
#include "cli/core/CJson.h"
#include "cli/core/CProgressBar.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CUtf8.h"

#include "platform/AnsiCodePage.h"

#include <cstring>
#include <ctime>

namespace tavik::cli {

namespace {

std::string text(LPCWSTR wide) {
    return wide == nullptr ? std::string() : CUtf8::fromUtf16(wide);
}

std::string bytesAndUnits(uint64_t bytes) {
    return std::to_string(bytes) + " bytes (" + CProgressBar::formatBytes(bytes) + ")";
}

// The reference server reports its start as seconds since 1970; the number is shown as sent,
// with the local time it stands for when it looks like one.
std::string startTime(int seconds) {
    std::string out = std::to_string(seconds);
    const std::time_t when = seconds;
    std::tm local{};
    char date[32];
    if (seconds > 0 && localtime_r(&when, &local) != nullptr &&
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local) > 0) {
        out += std::string(" (") + date + ")";
    }
    return out;
}

} // namespace

int CInfoCommands::ls(const Invocation& inv) {
    const std::string typed = inv.args.empty() ? "" : inv.args[0];
    if (inv.expandable > 0 && CGlob::isPattern(CRemotePath::baseName("/" + typed))) {
        // The entries that match, as they are (a matching folder is not opened).
        CRemoteGlob::Expansion found = CRemoteGlob::expand(m_session, typed, "ls");
        if (!found.error.empty()) {
            m_console.err << found.error << '\n';
            return CExitCode::kFailed;
        }
        CListing::sort(found.matches);
        m_console.out << (inv.json ? CListing::jsonList(found.matches)
                                   : CListing::render(found.matches, inv.longForm));
        return CExitCode::kOk;
    }
    const std::string path = m_session.resolve(typed);
    const std::string context = "ls: remote path " + m_session.shown(path);
    const auto entry = m_session.stat(path);
    if (!entry) {
        m_console.err << CDiskSession::failure(context) << '\n';
        return CExitCode::kFailed;
    }
    std::vector<RemoteEntry> entries;
    if (entry->folder) {
        auto children = m_session.list(path);
        if (!children) {
            m_console.err << CDiskSession::failure(context) << '\n';
            return CExitCode::kFailed;
        }
        entries = std::move(*children);
    } else {
        entries.push_back(*entry);
    }
    CListing::sort(entries);
    m_console.out << (inv.json ? CListing::jsonList(entries)
                               : CListing::render(entries, inv.longForm));
    return CExitCode::kOk;
}

int CInfoCommands::stat(const Invocation& inv) {
    const std::string path = m_session.resolve(inv.args.at(0));
    const auto entry = m_session.stat(path);
    if (!entry) {
        m_console.err << CDiskSession::failure("stat: remote path " + m_session.shown(path))
                      << '\n';
        return CExitCode::kFailed;
    }
    m_console.out << (inv.json ? CListing::jsonEntry(*entry) + "\n" : CListing::describe(*entry));
    return CExitCode::kOk;
}

int CInfoCommands::df(const Invocation& inv) {
    TAVIK_DISKSPACE space{};
    if (!tavik_GetDiskSpace(&space, m_session.handle())) {
        m_console.err << CDiskSession::failure("df") << '\n';
        return CExitCode::kFailed;
    }
    const uint64_t block = space.dwBlock;
    const uint64_t total = block * space.dwTotal;
    const uint64_t free = block * space.dwFree;
    const uint64_t used = total >= free ? total - free : 0;
    if (inv.json) {
        m_console.out << CJson()
                             .field("block", block)
                             .field("total", total)
                             .field("used", used)
                             .field("free", free)
                             .str()
                      << '\n';
        return CExitCode::kOk;
    }
    m_console.out << "Block size: " << block << " bytes\n"
                  << "Total:      " << bytesAndUnits(total) << '\n'
                  << "Used:       " << bytesAndUnits(used) << '\n'
                  << "Free:       " << bytesAndUnits(free) << '\n';
    return CExitCode::kOk;
}

int CInfoCommands::info(const Invocation& inv) {
    TAVIK_SERVERINFO server{};
    if (!tavik_GetServerInfo(&server, m_session.handle())) {
        m_console.err << CDiskSession::failure("info") << '\n';
        return CExitCode::kFailed;
    }
    const std::string version = CUtf8::fromUtf16(platform::fromAnsi(
        std::string_view(server.szVersion, strnlen(server.szVersion, sizeof server.szVersion))));
    TAVIK_SESSION handle = m_session.handle();
    const std::string message = text(tavik_GetSessionMessage(handle));
    const std::string url = text(tavik_GetSessionOpenUrl(handle));
    if (inv.json) {
        m_console.out << CJson()
                             .field("server", inv.host + ":" + std::to_string(inv.port))
                             .field("version", version)
                             .field("sessions", int64_t{server.nCurrentNum})
                             .field("downloads", int64_t{server.nDownNum})
                             .field("uploads", int64_t{server.nUpNum})
                             .field("startTime", int64_t{server.nStartTime})
                             .field("disk", inv.disk)
                             .field("sessionPath", m_session.path())
                             .field("sessionMode", int64_t{tavik_GetSessionMode(handle)})
                             .field("message", message)
                             .field("openUrl", url)
                             .str()
                      << '\n';
        return CExitCode::kOk;
    }
    auto row = [this](const char* label, const std::string& value) {
        m_console.out << label << std::string(14 - std::strlen(label), ' ') << value << '\n';
    };
    row("Server:", inv.host + ":" + std::to_string(inv.port));
    row("Version:", version);
    row("Sessions:", std::to_string(server.nCurrentNum));
    row("Downloads:", std::to_string(server.nDownNum));
    row("Uploads:", std::to_string(server.nUpNum));
    row("Start time:", startTime(server.nStartTime));
    row("Disk:", inv.disk);
    row("Session path:", m_session.path());
    row("Session mode:", std::to_string(tavik_GetSessionMode(handle)));
    if (!message.empty()) {
        row("Message:", message);
    }
    if (!url.empty()) {
        row("Open URL:", url);
    }
    return CExitCode::kOk;
}

} // namespace tavik::cli
