#include "cli/commands/CNamespaceCommands.h"

#include "cli/commands/CExitCode.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CUtf8.h"

namespace tavik::cli {

bool CNamespaceCommands::check(bool ok, const std::string& context) {
    if (!ok) {
        m_console.err << CDiskSession::failure(context) << '\n';
    }
    return ok;
}

int CNamespaceCommands::mkdir(const Invocation& inv) {
    bool all = true;
    for (const std::string& typed : inv.args) {
        const std::string path = m_session.resolve(typed);
        all &= inv.parents ? makeWithParents(path) : makeOne(path);
    }
    return all ? CExitCode::kOk : CExitCode::kFailed;
}

bool CNamespaceCommands::makeWithParents(const std::string& path) {
    // Top down from the session folder: each missing folder is created, an existing folder is
    // fine, and an existing file on the way is an error.
    if (CRemotePath::same(path, m_session.path()) || path == "/") {
        return true;
    }
    const std::string parent = CRemotePath::parent(path);
    if (!CRemotePath::same(parent, path) && !makeWithParents(parent)) {
        return false;
    }
    if (const auto entry = m_session.stat(path)) {
        if (entry->folder) {
            return true;
        }
        m_console.err << "tavik: mkdir: remote path " << m_session.shown(path)
                      << " exists and is not a folder\n";
        return false;
    }
    return makeOne(path);
}

bool CNamespaceCommands::makeOne(const std::string& path) {
    if (tavik_MakeFolder(CUtf8::toUtf16(path).c_str(), m_session.handle()) != 0) {
        return true;
    }
    // The server answers "does not exist" for the folder the new one would go into.
    const bool parentMissing = CDiskSession::lastErrorCode() == TAVIK_ERR_NOT_EXIST;
    const std::string shown = m_session.shown(parentMissing ? CRemotePath::parent(path) : path);
    return check(false, std::string("mkdir: remote folder ") + shown);
}

int CNamespaceCommands::rm(const Invocation& inv) {
    bool all = true;
    for (const std::string& typed : inv.args) {
        const std::string path = m_session.resolve(typed);
        if (CRemotePath::same(path, m_session.path()) || path == "/") {
            // Deleting the disk's own top folder is never what a typo deserves.
            m_console.err << "tavik: rm: refusing to delete the disk's root folder\n";
            all = false;
            continue;
        }
        all &= check(tavik_DeleteFile(CUtf8::toUtf16(path).c_str(), inv.recursive ? 1 : 0,
                                      m_session.handle()) != 0,
                     "rm: remote path " + m_session.shown(path));
    }
    return all ? CExitCode::kOk : CExitCode::kFailed;
}

int CNamespaceCommands::intoFolder(const Invocation& inv, const char* verb,
                                   BOOL (*operation)(LPCWSTR, LPCWSTR, TAVIK_SESSION)) {
    const std::string folder = m_session.resolve(inv.args.back());
    const std::u16string folderWide = CUtf8::toUtf16(folder);
    bool all = true;
    for (size_t i = 0; i + 1 < inv.args.size(); ++i) {
        const std::string source = m_session.resolve(inv.args[i]);
        all &= check(
            operation(CUtf8::toUtf16(source).c_str(), folderWide.c_str(), m_session.handle()) != 0,
            std::string(verb) + ": remote path " + m_session.shown(source) + " into folder " +
                m_session.shown(folder));
    }
    return all ? CExitCode::kOk : CExitCode::kFailed;
}

int CNamespaceCommands::mv(const Invocation& inv) {
    return intoFolder(inv, "mv", &tavik_MoveFile);
}

int CNamespaceCommands::cp(const Invocation& inv) {
    return intoFolder(inv, "cp", &tavik_CopyFile);
}

int CNamespaceCommands::rename(const Invocation& inv) {
    const std::string from = m_session.resolve(inv.args.at(0));
    const std::string& typed = inv.args.at(1);
    const std::string to = typed.find('/') == std::string::npos
                               ? CRemotePath::join(CRemotePath::parent(from), typed)
                               : m_session.resolve(typed);
    const bool ok =
        check(tavik_RenameFile(CUtf8::toUtf16(from).c_str(), CUtf8::toUtf16(to).c_str(),
                               m_session.handle()) != 0,
              "rename: remote path " + m_session.shown(from) + " to " + m_session.shown(to));
    return ok ? CExitCode::kOk : CExitCode::kFailed;
}

} // namespace tavik::cli
