#include "app/explorer/CRemoteBatchSource.h"

#include "app/explorer/RemoteListing.h"

#include "sdk/include/TavikSDK.h"

#include <memory>

namespace tavik::app {

namespace {

struct ListCloser {
    void operator()(TAVIK_FILEINFO_LIST* list) const { tavik_CloseFileInfo(list); }
};
using ListHandle = std::unique_ptr<TAVIK_FILEINFO_LIST, ListCloser>;

QString LibraryText() {
    LPCWSTR text = tavik_GetLastErrStr();
    return text != nullptr ? QString::fromUtf16(text) : QString();
}

} // namespace

CRemoteBatchSource::CRemoteBatchSource(TAVIK_SESSION session) : session_(session) {}

QString CRemoteBatchSource::Join(const QString& folder, const QString& name) const {
    return folder + QLatin1Char('/') + name;
}

bool CRemoteBatchSource::ListKind(const QString& folder, int infoType,
                                  std::vector<BatchSourceEntry>& entries, QString& error) {
    int count = 0;
    ListHandle list(
        tavik_OpenFileInfo(folder.toStdU16String().c_str(), infoType, 1, &count, session_));
    if (!list) {
        error = LibraryText();
        return false;
    }
    const QString prefix = folder + QLatin1Char('/');
    for (int i = 0; i < count; ++i) {
        const TAVIK_FILEINFO* info = tavik_ReadFileInfo(list.get(), i);
        if (info == nullptr || info->pszName == nullptr) {
            continue;
        }
        const QString path = QString::fromUtf16(info->pszName);
        // The folder list begins with the folder itself.
        if (infoType == kInfoTypeFolders && (path == folder || path == prefix)) {
            continue;
        }
        BatchSourceEntry entry;
        entry.name = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
        entry.kind = infoType == kInfoTypeFolders ? BatchSourceEntry::Kind::Folder
                                                  : BatchSourceEntry::Kind::File;
        // The whole size when the server sent one beyond 32 bits.
        const int64_t size = tavik_GetFileInfoSize64(list.get(), i);
        entry.size = size >= 0 ? static_cast<uint64_t>(size) : info->dwSize;
        entries.push_back(std::move(entry));
    }
    return true;
}

std::optional<std::vector<BatchSourceEntry>> CRemoteBatchSource::List(const QString& folder,
                                                                      QString& error) {
    std::vector<BatchSourceEntry> entries;
    if (!ListKind(folder, kInfoTypeFolders, entries, error) ||
        !ListKind(folder, kInfoTypeFiles, entries, error)) {
        return std::nullopt;
    }
    return entries;
}

} // namespace tavik::app
