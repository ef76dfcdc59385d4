#include "server/CCommandHandlers.h"

#include "server/CDiskCapability.h"
#include "server/CDiskSpace.h"
#include "server/CFileInfoLister.h"
#include "server/CFileOperations.h"
#include "server/CRemoteCommand.h"
#include "server/CWireText.h"

#include "sdk/core/CLastError.h"
#include "sdk/core/CPacket.h"
#include "sdk/core/LargeFileWire.h"
#include "sdk/core/UploadCommitWire.h"
#include "sdk/include/TavikErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tavik::server {

namespace {

constexpr size_t kMaxCommandOutput = 512 * 1024;

const char* stringItem(const CPacket& request, const char* name) {
    const char* text = nullptr;
    return request.GetString(name, &text) ? text : nullptr;
}

std::optional<int32_t> intItem(const CPacket& request, const char* name) {
    int32_t value = 0;
    if (!request.GetInt(name, &value)) {
        return std::nullopt;
    }
    return value;
}

// Lexical clean-up of a request path for "changedir": "." and empty parts dropped, ".." takes
// back the part before it. Returns nullopt when ".." would climb above "/".
std::optional<std::string> normalizeLexically(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result;
    for (const std::string_view part : parts) {
        result.append("/").append(part);
    }
    return result.empty() ? "/" : result;
}

bool isRegularFile(int fd, uint64_t& size) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

int openFlags(int32_t flags) {
    static constexpr int32_t kKnown =
        3 | CCommandHandlers::kOpenCreate | CCommandHandlers::kOpenExclusive |
        CCommandHandlers::kOpenTruncate | CCommandHandlers::kOpenAppend;
    const int32_t access = flags & 3;
    if ((flags & ~kKnown) != 0 || access == 3) {
        return -1;
    }
    int result = access == CCommandHandlers::kOpenRead    ? O_RDONLY
                 : access == CCommandHandlers::kOpenWrite ? O_WRONLY
                                                          : O_RDWR;
    result |= (flags & CCommandHandlers::kOpenCreate) ? O_CREAT : 0;
    result |= (flags & CCommandHandlers::kOpenExclusive) ? O_EXCL : 0;
    result |= (flags & CCommandHandlers::kOpenTruncate) ? O_TRUNC : 0;
    result |= (flags & CCommandHandlers::kOpenAppend) ? O_APPEND : 0;
    return result | O_CLOEXEC;
}

// Whether a command changes the disk it runs on: what a read-only disk refuses. "remotecmd"
// counts, since the program it runs may write; "copyex" only reads here.
bool writesToDisk(std::string_view command, const CPacket& request) {
    static constexpr std::string_view kWriting[] = {
        "writefile", "createdir", "createfile",  "deletefile", "renamefile",
        "movefile",  "copyfile",  "setfiletime", "upload",     "remotecmd"};
    if (std::find(std::begin(kWriting), std::end(kWriting), command) != std::end(kWriting)) {
        return true;
    }
    if (command != "openfile") {
        return false;
    }
    const int32_t flags = intItem(request, "flags").value_or(CCommandHandlers::kOpenRead);
    return (flags & 3) != CCommandHandlers::kOpenRead ||
           (flags & (CCommandHandlers::kOpenCreate | CCommandHandlers::kOpenTruncate |
                     CCommandHandlers::kOpenAppend)) != 0;
}

constexpr const char* kReadOnlyText = "permission deny: the disk is read-only";

} // namespace

CCommandHandlers::CCommandHandlers(CClientSession& session, const CServerConfig& config,
                                   CServerStats& stats)
    : session_(session), config_(config), stats_(stats) {}

CCommandHandlers::Handler CCommandHandlers::find(std::string_view command) {
    static const std::pair<const char*, Handler> kTable[] = {
        {"setuser", &CCommandHandlers::setUser},
        {"getquota", &CCommandHandlers::getQuota},
        {"openfile", &CCommandHandlers::openFile},
        {"writefile", &CCommandHandlers::writeFile},
        {"readfile", &CCommandHandlers::readFile},
        {"seekfile", &CCommandHandlers::seekFile},
        {"closefile", &CCommandHandlers::closeFile},
        {"createdir", &CCommandHandlers::createDir},
        {"createfile", &CCommandHandlers::createFile},
        {"deletefile", &CCommandHandlers::deleteFile},
        {"renamefile", &CCommandHandlers::renameFile},
        {"movefile", &CCommandHandlers::moveFile},
        {"copyfile", &CCommandHandlers::copyFile},
        {"getfileinfo", &CCommandHandlers::getFileInfo},
        {"getlength", &CCommandHandlers::getLength},
        {"getfiletime", &CCommandHandlers::getFileTime},
        {"setfiletime", &CCommandHandlers::setFileTime},
        {"opendir", &CCommandHandlers::openDir},
        {"readdir", &CCommandHandlers::readDir},
        {"closedir", &CCommandHandlers::closeDir},
        {"remotecmd", &CCommandHandlers::remoteCmd},
        {"changedir", &CCommandHandlers::changeDir},
        {"getserverinfo", &CCommandHandlers::getServerInfo},
        {"checkvirus", &CCommandHandlers::checkVirus},
        {"download", &CCommandHandlers::download},
        {"upload", &CCommandHandlers::upload},
        {"copyex", &CCommandHandlers::copyEx},
    };
    for (const auto& [name, handler] : kTable) {
        if (command == name) {
            return handler;
        }
    }
    return nullptr;
}

HandleResult CCommandHandlers::handle(const CPacket& request, CPacket& reply) {
    plan_.reset();
    const char* command = stringItem(request, "_cmd");
    const Handler handler = command == nullptr ? nullptr : find(command);
    HandleResult result;
    bool readOnlyRefusal = false;
    if (handler == nullptr) {
        result.error = TAVIK_ERR_NOT_ALLOWED;
    } else if (!session_.loggedIn() && std::strcmp(command, "setuser") != 0) {
        result.error = TAVIK_ERR_NOT_ALLOWED;
    } else if (session_.loggedIn() && session_.disk()->readOnly && writesToDisk(command, request)) {
        result.error = TAVIK_ERR_PERMISSION;
        readOnlyRefusal = true;
    } else {
        result.error = (this->*handler)(request, reply);
    }
    if (result.error != 0) {
        // A failed command answers with its error alone.
        reply.Clear();
        plan_.reset();
    }
    setError(reply, result.error);
    if (readOnlyRefusal) {
        // The code's own text would leave the user guessing at file permissions.
        reply.SetString("errstr", kReadOnlyText);
    }
    result.plan = std::move(plan_);
    plan_.reset();
    return result;
}

uint32_t CCommandHandlers::replyFlags(std::string_view command) {
    return command == "readfile" || command == "writefile" ? 0 : 2;
}

std::string CCommandHandlers::logPath(const CPacket& request) {
    static constexpr const char* kPathItems[] = {
        "path", "filename", "fullpath", "basepath", "oldpath", "srcpath", "name", "command", "id"};
    for (const char* item : kPathItems) {
        if (const char* text = stringItem(request, item)) {
            return CWireText::toHost(text);
        }
    }
    return {};
}

void CCommandHandlers::setError(CPacket& reply, int32_t error) {
    reply.SetInt("error", error);
    if (error != 0) {
        reply.SetString("errstr", errorText(error));
    }
}

Outcome<ResolvedPath> CCommandHandlers::resolveItem(const CPacket& request,
                                                    const char* item) const {
    const char* text = stringItem(request, item);
    if (text == nullptr) {
        return Outcome<ResolvedPath>::fail(TAVIK_ERR_WRONG_PARAMETER);
    }
    return session_.resolver().resolve(CWireText::toHost(text));
}

Outcome<OpenFile*> CCommandHandlers::fileItem(const CPacket& request) {
    const auto number = intItem(request, "fd");
    OpenFile* file = number ? session_.file(*number) : nullptr;
    if (file == nullptr) {
        return Outcome<OpenFile*>::fail(TAVIK_ERR_INVALID_HANDLE);
    }
    return Outcome<OpenFile*>::ok(file);
}

// ---- login and services -------------------------------------------------------------------

const DiskConfig* CCommandHandlers::diskByCapability(const std::string& id) const {
    if (!config_.capabilityKey) {
        return nullptr;
    }
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const auto granted = CDiskCapability::check(*config_.capabilityKey, id, now);
    return granted ? config_.findDisk(*granted) : nullptr;
}

int32_t CCommandHandlers::setUser(const CPacket& request, CPacket& reply) {
    const bool offered =
        intItem(request, largefile::kOfferItem).value_or(0) == largefile::kOfferVersion;
    const bool commitOffered =
        intItem(request, uploadcommit::kOfferItem).value_or(0) == uploadcommit::kOfferVersion;
    const char* id = stringItem(request, "id");
    const std::string hostId = id == nullptr ? std::string() : CWireText::toHost(id);
    // A capability is the whole credential of an account disk: no password is asked. A forged or
    // expired one reads as an unknown id.
    if (CDiskCapability::looksLikeCapability(hostId)) {
        const DiskConfig* disk = diskByCapability(hostId);
        if (disk == nullptr) {
            return TAVIK_ERR_WRONG_ID;
        }
        return acceptLogin(*disk, offered, commitOffered, reply);
    }
    const DiskConfig* disk = id == nullptr ? nullptr : config_.findDisk(hostId);
    if (disk == nullptr || disk->capabilityOnly) {
        return TAVIK_ERR_WRONG_ID;
    }
    const char* pass = stringItem(request, "pass");
    if (disk->password && (pass == nullptr || !disk->password->matches(CWireText::toHost(pass)))) {
        return TAVIK_ERR_WRONG_PASSWD;
    }
    return acceptLogin(*disk, offered, commitOffered, reply);
}

int32_t CCommandHandlers::acceptLogin(const DiskConfig& disk, bool offered, bool commitOffered,
                                      CPacket& reply) {
    session_.login(disk);
    if (offered) {
        session_.setLargeFiles(true);
        reply.SetInt(largefile::kOfferItem, largefile::kOfferVersion);
    }
    if (commitOffered) {
        session_.setUploadCommit(true);
        reply.SetInt(uploadcommit::kOfferItem, uploadcommit::kOfferVersion);
    }
    reply.SetString("path", CWireText::toWire(session_.sessionPath()).c_str());
    reply.SetInt("mode", 3);
    reply.SetString("authtype", "");
    return 0;
}

int32_t CCommandHandlers::getQuota(const CPacket&, CPacket& reply) {
    // The quota is the logged-in disk's; the request's "id" names the same account.
    const auto words = CDiskSpace(*session_.disk()).words();
    if (!words) {
        return words.error();
    }
    reply.SetInt("block", static_cast<int32_t>(words.value().block));
    reply.SetInt("free", static_cast<int32_t>(words.value().free));
    reply.SetInt("total", static_cast<int32_t>(words.value().total));
    if (session_.largeFiles()) {
        // The words round the block size up; the bytes are exact.
        const uint64_t block = words.value().block;
        const auto free = CDiskSpace(*session_.disk()).freeBytes();
        largefile::setU64(reply, largefile::kFreeBytesItem,
                          free ? free.value() : block * words.value().free);
        largefile::setU64(reply, largefile::kTotalBytesItem, block * words.value().total);
    }
    return 0;
}

int32_t CCommandHandlers::getServerInfo(const CPacket&, CPacket& reply) {
    reply.SetInt("nCurrentNum", stats_.connections.load());
    reply.SetInt("nDownNum", stats_.downloads.load());
    reply.SetInt("nUpNum", stats_.uploads.load());
    reply.SetInt("nStartTime", stats_.startTime);
    reply.SetString("Version", kVersionText);
    return 0;
}

int32_t CCommandHandlers::checkVirus(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "filename");
    if (!path) {
        return path.error();
    }
    FileEntry entry;
    if (!CFileInfoLister::examine(path.value(), entry)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    // There is no scanner: every file is reported clean.
    reply.SetInt("result", 0);
    return 0;
}

int32_t CCommandHandlers::changeDir(const CPacket& request, CPacket&) {
    const char* name = stringItem(request, "name");
    if (name == nullptr) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    const std::string text = CWireText::toHost(name);
    const std::string joined =
        !text.empty() && text.front() == '/' ? text : session_.currentDir() + "/" + text;
    const auto normalized = normalizeLexically(joined);
    if (!normalized) {
        return TAVIK_ERR_PERMISSION;
    }
    const auto path = session_.resolver().resolve(*normalized);
    if (!path) {
        return path.error();
    }
    FileEntry entry;
    if (!CFileInfoLister::examine(path.value(), entry)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    if (!entry.isDir) {
        return TAVIK_ERR_NOT_DIRECTORY;
    }
    session_.setCurrentDir(*normalized);
    return 0;
}

int32_t CCommandHandlers::remoteCmd(const CPacket& request, CPacket& reply) {
    const char* command = stringItem(request, "command");
    if (command == nullptr) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    const auto words = CRemoteCommand::splitWords(CWireText::toHost(command));
    if (!CRemoteCommand::allowed(words, config_.allowedCommands)) {
        return TAVIK_ERR_NOT_ALLOWED;
    }
    const auto folder = session_.resolver().resolve(session_.currentDir());
    if (!folder) {
        return folder.error();
    }
    const CFileDescriptor folderFd = session_.resolver().open(folder.value(), O_PATH | O_DIRECTORY);
    if (!folderFd.valid()) {
        return CFileOperations::errorFromErrno(errno);
    }
    auto output =
        CRemoteCommand::run(words, folderFd.get(), config_.commandTimeoutMs, kMaxCommandOutput);
    if (!output) {
        return output.error();
    }
    const std::string text = CWireText::toWire(output.value().text);
    reply.SetInt("exitcode", output.value().exitCode);
    if (intItem(request, "getresult").value_or(0) == 1) {
        // "result" is the text with its NUL and "retlen" its length, NUL included.
        reply.SetInt("retlen", static_cast<int32_t>(text.size() + 1));
        reply.SetData("result", text.c_str(), static_cast<uint32_t>(text.size() + 1));
    }
    return 0;
}

// ---- listing -------------------------------------------------------------------------------

int32_t CCommandHandlers::getFileInfo(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "path");
    if (!path) {
        return path.error();
    }
    const int32_t infotype = intItem(request, "infotype").value_or(0);
    const int32_t level = intItem(request, "recursivelevel").value_or(0);
    CFileInfoLister lister(session_.resolver(), session_.largeFiles());
    return lister.list(path.value(), stringItem(request, "path"), infotype, level, reply);
}

int32_t CCommandHandlers::getLength(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "filename");
    if (!path) {
        return path.error();
    }
    FileEntry entry;
    if (!CFileInfoLister::examine(path.value(), entry)) {
        return TAVIK_ERR_NOT_EXIST;
    }
    const uint64_t size = entry.isDir ? 0 : entry.size;
    reply.SetInt("size", CFileInfoLister::sizeWord(size));
    if (session_.largeFiles()) {
        largefile::setU64(reply, largefile::kSizeItem, size);
    }
    return 0;
}

int32_t CCommandHandlers::getFileTime(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "path");
    if (!path) {
        return path.error();
    }
    if (!path.value().examined) {
        return TAVIK_ERR_NOT_EXIST;
    }
    const struct stat& info = path.value().info;
    // Seconds since 1970-01-01 UTC as unsigned 32-bit words.
    const auto word = [](time_t t) {
        return static_cast<int32_t>(static_cast<uint32_t>(std::clamp<int64_t>(t, 0, UINT32_MAX)));
    };
    reply.SetInt("lastaccesstime", word(info.st_atime));
    reply.SetInt("lastwritetime", word(info.st_mtime));
    return 0;
}

int32_t CCommandHandlers::setFileTime(const CPacket& request, CPacket&) {
    const auto path = resolveItem(request, "path");
    const auto access = intItem(request, "lastaccesstime");
    const auto write = intItem(request, "lastwritetime");
    if (!path) {
        return path.error();
    }
    if (!access || !write) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    timespec times[2]{};
    times[0].tv_sec = static_cast<time_t>(static_cast<uint32_t>(*access));
    times[1].tv_sec = static_cast<time_t>(static_cast<uint32_t>(*write));
    // Set through a descriptor: a name could be swapped for a link between look and act.
    const CFileDescriptor entry =
        session_.resolver().open(path.value(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!entry.valid() || ::futimens(entry.get(), times) != 0) {
        return CFileOperations::errorFromErrno(errno);
    }
    return 0;
}

int32_t CCommandHandlers::openDir(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "path");
    if (!path) {
        return path.error();
    }
    auto entries = CFileInfoLister(session_.resolver()).children(path.value().relative);
    if (!entries) {
        return entries.error();
    }
    DirCursor cursor;
    for (const FileEntry& entry : entries.value()) {
        cursor.add(CWireText::toWire(entry.name));
    }
    const int32_t number = session_.addDir(std::move(cursor));
    if (number == 0) {
        return TAVIK_ERR_REMOTE_FILE;
    }
    reply.SetInt("hdir", number);
    return 0;
}

int32_t CCommandHandlers::readDir(const CPacket& request, CPacket& reply) {
    const auto number = intItem(request, "hdir");
    DirCursor* cursor = number ? session_.dir(*number) : nullptr;
    if (cursor == nullptr) {
        return TAVIK_ERR_INVALID_HANDLE;
    }
    // The end of the listing is a reply without "file".
    if (const char* name = cursor->take()) {
        reply.SetString("file", name);
    }
    return 0;
}

int32_t CCommandHandlers::closeDir(const CPacket& request, CPacket&) {
    const auto number = intItem(request, "hdir");
    return number && session_.closeDir(*number) ? 0 : TAVIK_ERR_INVALID_HANDLE;
}

// ---- namespace -----------------------------------------------------------------------------

int32_t CCommandHandlers::createDir(const CPacket& request, CPacket& reply) {
    CFileOperations operations(*session_.disk(), session_.resolver());
    if (stringItem(request, "fullpath") != nullptr) {
        const auto path = resolveItem(request, "fullpath");
        return path ? operations.makeFolder(path.value()) : path.error();
    }
    const auto base = resolveItem(request, "basepath");
    if (!base) {
        return base.error();
    }
    const auto name = operations.makeNewFolder(base.value());
    if (!name) {
        return name.error();
    }
    // The client cuts the name off behind the base path as it sent it and one separator.
    const std::string path =
        std::string(stringItem(request, "basepath")) + "/" + CWireText::toWire(name.value());
    reply.SetString("path", path.c_str());
    return 0;
}

int32_t CCommandHandlers::createFile(const CPacket& request, CPacket&) {
    const auto path = resolveItem(request, "fullpath");
    return path ? CFileOperations(*session_.disk(), session_.resolver()).createFile(path.value())
                : path.error();
}

int32_t CCommandHandlers::deleteFile(const CPacket& request, CPacket&) {
    const auto path = resolveItem(request, "path");
    if (!path) {
        return path.error();
    }
    const char* option = stringItem(request, "opt");
    const bool force = option != nullptr && std::strcmp(option, "force") == 0;
    return CFileOperations(*session_.disk(), session_.resolver()).remove(path.value(), force);
}

int32_t CCommandHandlers::onTwoPaths(const CPacket& request, const char* first, const char* second,
                                     TwoPathOperation operation) const {
    const auto one = resolveItem(request, first);
    if (!one) {
        return one.error();
    }
    const auto two = resolveItem(request, second);
    if (!two) {
        return two.error();
    }
    return (CFileOperations(*session_.disk(), session_.resolver()).*operation)(one.value(),
                                                                               two.value());
}

int32_t CCommandHandlers::renameFile(const CPacket& request, CPacket&) {
    return onTwoPaths(request, "oldpath", "newpath", &CFileOperations::rename);
}

int32_t CCommandHandlers::moveFile(const CPacket& request, CPacket&) {
    return onTwoPaths(request, "srcpath", "dirpath", &CFileOperations::move);
}

int32_t CCommandHandlers::copyFile(const CPacket& request, CPacket&) {
    return onTwoPaths(request, "srcpath", "dirpath", &CFileOperations::copy);
}

// ---- remote file I/O -----------------------------------------------------------------------

CFileDescriptor CCommandHandlers::openRegular(const ResolvedPath& path, int flags) const {
    // O_NONBLOCK: a named pipe placed in the disk must not hang the connection in open().
    CFileDescriptor fd = session_.resolver().open(path, flags | O_NONBLOCK, 0644);
    uint64_t size = 0;
    if (!fd.valid()) {
        return fd;
    }
    if (!isRegularFile(fd.get(), size)) {
        errno = S_ISDIR(path.info.st_mode) ? EISDIR : EINVAL;
        return CFileDescriptor();
    }
    const int mode = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, mode & ~O_NONBLOCK);
    return fd;
}

int32_t CCommandHandlers::openFile(const CPacket& request, CPacket& reply) {
    const auto path = resolveItem(request, "filename");
    if (!path) {
        return path.error();
    }
    const int flags = openFlags(intItem(request, "flags").value_or(kOpenRead));
    if (flags < 0) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    OpenFile file;
    file.fd = openRegular(path.value(), flags);
    if (!file.fd.valid()) {
        return CFileOperations::errorFromErrno(errno);
    }
    const int32_t number = session_.addFile(std::move(file));
    if (number == 0) {
        return TAVIK_ERR_REMOTE_FILE;
    }
    reply.SetInt("fd", number);
    return 0;
}

int32_t CCommandHandlers::writeFile(const CPacket& request, CPacket& reply) {
    auto file = fileItem(request);
    if (!file) {
        return file.error();
    }
    const auto size = intItem(request, "size");
    const auto data = request.Find("data");
    if (!size || *size < 0 || static_cast<size_t>(*size) != data.size()) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    const int fd = file.value()->fd.get();
    uint64_t fileSize = 0;
    isRegularFile(fd, fileSize);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    const uint64_t end = static_cast<uint64_t>(std::max<off_t>(position, 0)) + data.size();
    const DiskConfig& disk = *session_.disk();
    CSpaceLedger::CReservation reservation;
    const auto free = [&disk] {
        const auto bytes = CDiskSpace(disk).freeBytes();
        return bytes ? bytes.value() : UINT64_MAX;
    };
    if (end > fileSize && !disk.ledger->reserve(end - fileSize, free, reservation)) {
        return TAVIK_ERR_DISK_FULL;
    }
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return CFileOperations::errorFromErrno(n < 0 ? errno : ENOSPC);
        }
        done += static_cast<size_t>(n);
    }
    reply.SetInt("size", static_cast<int32_t>(done));
    return 0;
}

int32_t CCommandHandlers::readFile(const CPacket& request, CPacket& reply) {
    auto file = fileItem(request);
    if (!file) {
        return file.error();
    }
    const auto size = intItem(request, "size");
    if (!size || *size < 0) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(*size, kMaxReadSize)));
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n =
            ::read(file.value()->fd.get(), buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return CFileOperations::errorFromErrno(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    reply.SetInt("size", static_cast<int32_t>(done));
    reply.SetData("data", buffer.data(), static_cast<uint32_t>(done));
    return 0;
}

int32_t CCommandHandlers::seekFile(const CPacket& request, CPacket& reply) {
    auto file = fileItem(request);
    if (!file) {
        return file.error();
    }
    const bool wide = session_.largeFiles();
    const auto offset64 = wide ? largefile::getU64(request, largefile::kOffsetItem) : std::nullopt;
    const int64_t offset =
        offset64 ? static_cast<int64_t>(*offset64) : intItem(request, "offset").value_or(0);
    const int32_t whence = intItem(request, "whence").value_or(SEEK_SET);
    const int fd = file.value()->fd.get();
    uint64_t fileSize = 0;
    isRegularFile(fd, fileSize);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = ::lseek(fd, 0, SEEK_CUR);
    } else if (whence == SEEK_END) {
        base = static_cast<int64_t>(fileSize);
    } else if (whence != SEEK_SET) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    // The position is reported in a signed 32-bit "size", where -1 would read as a failure;
    // with 64-bit positions agreed, "size64" carries it and "size" holds at most 2^31 - 1.
    const int64_t limit = wide ? INT64_MAX : INT32_MAX;
    if (__builtin_add_overflow(base, offset, &base) || base < 0 || base > limit) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    const int64_t target = base;
    if (::lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        return CFileOperations::errorFromErrno(errno);
    }
    reply.SetInt("size", static_cast<int32_t>(std::min<int64_t>(target, INT32_MAX)));
    if (wide) {
        largefile::setU64(reply, largefile::kSizeItem, static_cast<uint64_t>(target));
    }
    return 0;
}

int32_t CCommandHandlers::closeFile(const CPacket& request, CPacket&) {
    const auto number = intItem(request, "fd");
    return number && session_.closeFile(*number) ? 0 : TAVIK_ERR_INVALID_HANDLE;
}

// ---- transfers -----------------------------------------------------------------------------

int32_t CCommandHandlers::openSource(const CPacket& request, const char* pathItem,
                                     TransferPlan& plan) {
    const auto path = resolveItem(request, pathItem);
    if (!path) {
        return path.error();
    }
    const auto range = rangeItems(request);
    if (!range) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    plan.start = range->first;
    plan.end = range->second;
    // Only a client that sent the 64-bit range reads 8-byte position words; the 32-bit call
    // on the same session still reads 4-byte ones.
    plan.wideWords = session_.largeFiles() &&
                     largefile::getU64(request, largefile::kStartItem).has_value() &&
                     largefile::getU64(request, largefile::kEndItem).has_value();
    plan.file = openRegular(path.value(), O_RDONLY);
    if (!plan.file.valid()) {
        return CFileOperations::errorFromErrno(errno);
    }
    uint64_t size = 0;
    isRegularFile(plan.file.get(), size);
    // The range is checked before the first reply, so that no client waits for bytes that
    // will never come.
    if (plan.start > plan.end || plan.end > size) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    return 0;
}

std::optional<std::pair<uint64_t, uint64_t>>
CCommandHandlers::rangeItems(const CPacket& request) const {
    if (session_.largeFiles()) {
        const auto start = largefile::getU64(request, largefile::kStartItem);
        const auto end = largefile::getU64(request, largefile::kEndItem);
        if (start && end) {
            return std::make_pair(*start, *end);
        }
    }
    const auto start = intItem(request, "startpos");
    const auto end = intItem(request, "endpos");
    if (!start || !end) {
        return std::nullopt;
    }
    return std::make_pair(uint64_t{static_cast<uint32_t>(*start)},
                          uint64_t{static_cast<uint32_t>(*end)});
}

int32_t CCommandHandlers::download(const CPacket& request, CPacket&) {
    TransferPlan plan;
    plan.kind = TransferPlan::Kind::Download;
    const int32_t error = openSource(request, "path", plan);
    if (error == 0) {
        plan_ = std::move(plan);
    }
    return error;
}

int32_t CCommandHandlers::upload(const CPacket& request, CPacket&) {
    const auto path = resolveItem(request, "path");
    if (!path) {
        return path.error();
    }
    const auto range = rangeItems(request);
    const bool truncate = intItem(request, "istrunc").value_or(0) != 0;
    if (!range || range->first > range->second ||
        range->second > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    TransferPlan plan;
    plan.kind = TransferPlan::Kind::Upload;
    plan.start = range->first;
    plan.end = range->second;
    if (path.value().isRoot) {
        return TAVIK_ERR_REMOTE_FILE;
    }
    if (const int32_t error = planCommit(request, path.value(), plan); error != 0) {
        return error;
    }
    // A file that is not there yet is only created once the upload is known to fit.
    plan.file = openRegular(path.value(), O_WRONLY);
    if (!plan.file.valid() && errno != ENOENT) {
        return CFileOperations::errorFromErrno(errno);
    }
    uint64_t existing = 0;
    if (plan.file.valid()) {
        isRegularFile(plan.file.get(), existing);
    }
    const uint64_t oldSize = truncate ? 0 : existing;
    const uint64_t released = truncate ? existing : 0;
    // The growth is reserved against the disk's space at once, across all sessions: it is
    // refused here when it cannot fit, and no other write can take the same bytes meanwhile.
    const uint64_t growth = plan.end > oldSize ? plan.end - oldSize : 0;
    const DiskConfig& disk = *session_.disk();
    const auto free = [&disk, released] {
        const auto bytes = CDiskSpace(disk).freeBytes();
        return bytes ? bytes.value() + released : UINT64_MAX;
    };
    if (!disk.ledger->reserve(growth, free, plan.reservation)) {
        return TAVIK_ERR_DISK_FULL;
    }
    plan.writeLimit = plan.end;
    if (!plan.file.valid()) {
        plan.file = openRegular(path.value(), O_WRONLY | O_CREAT);
    }
    if (!plan.file.valid()) {
        return CFileOperations::errorFromErrno(errno);
    }
    // An empty file is not truncated: on ext4 a truncation to zero marks the file for a forced
    // write-back at close, a disk write per small upload for nothing.
    if (truncate && existing > 0 && ::ftruncate(plan.file.get(), 0) != 0) {
        return CFileOperations::errorFromErrno(errno);
    }
    plan_ = std::move(plan);
    return 0;
}

int32_t CCommandHandlers::planCommit(const CPacket& request, const ResolvedPath& written,
                                     TransferPlan& plan) const {
    if (!session_.uploadCommit() || stringItem(request, uploadcommit::kPathItem) == nullptr) {
        return 0; // nothing asked, or asked by a client that did not offer: the design's upload
    }
    const auto target = resolveItem(request, uploadcommit::kPathItem);
    if (!target) {
        return target.error();
    }
    if (target.value().isRoot) {
        return TAVIK_ERR_PERMISSION;
    }
    const auto time = static_cast<uint32_t>(intItem(request, uploadcommit::kTimeItem).value_or(0));
    const bool replace = intItem(request, uploadcommit::kReplaceItem).value_or(0) != 0;
    plan.commit = [this, written, to = target.value(), time, replace](int fd) -> int32_t {
        if (time != 0) {
            const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time), 0}};
            if (::futimens(fd, times) != 0) {
                return CFileOperations::errorFromErrno(errno);
            }
        }
        return CFileOperations(*session_.disk(), session_.resolver()).commit(written, to, replace);
    };
    return 0;
}

int32_t CCommandHandlers::copyEx(const CPacket& request, CPacket&) {
    TransferPlan plan;
    plan.kind = TransferPlan::Kind::Copy;
    const int32_t error = openSource(request, "srcpath", plan);
    if (error != 0) {
        return error;
    }
    const char* ip = stringItem(request, "ip");
    const char* destination = stringItem(request, "destpath");
    const auto port = intItem(request, "port");
    if (ip == nullptr || destination == nullptr || !port || *port <= 0 || *port > 65535) {
        return TAVIK_ERR_WRONG_PARAMETER;
    }
    // Without the list any client could make the server connect anywhere (a port scan, a
    // relay for logins to other servers).
    if (!config_.copyTargetAllowed(ip, static_cast<uint16_t>(*port))) {
        return TAVIK_ERR_NOT_ALLOWED;
    }
    plan.copy.ip = ip;
    plan.copy.port = static_cast<uint16_t>(*port);
    plan.copy.id = request.GetString("id", "");
    plan.copy.password = request.GetString("pass", "");
    plan.copy.path = destination;
    plan.copy.truncate = intItem(request, "istrunc").value_or(0);
    plan_ = std::move(plan);
    return 0;
}

} // namespace tavik::server
