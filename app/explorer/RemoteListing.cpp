#include "app/explorer/RemoteListing.h"

#include "app/explorer/CFileTypes.h"
#include "app/explorer/PaneText.h"
#include "app/explorer/TransferText.h"

#include "sdk/include/TavikSDK.h"

#include <memory>

namespace tavik::app {

namespace {

struct ListCloser {
    void operator()(TAVIK_FILEINFO_LIST* list) const { tavik_CloseFileInfo(list); }
};
using ListHandle = std::unique_ptr<TAVIK_FILEINFO_LIST, ListCloser>;

QString Text(LPCWSTR text) {
    return text ? QString::fromUtf16(text) : QString();
}

ListRow FolderRow(const TAVIK_FILEINFO& info, const QString& folderPath) {
    ListRow row;
    row.columns[kColumnName] = RemoteRowName(Text(info.pszName), folderPath);
    row.columns[kColumnSize] = kFolderSizeText;
    row.columns[kColumnDate] = Text(info.pszDate);
    row.icon = CFileTypes::Instance().FolderIcon();
    return row;
}

ListRow FileRow(const TAVIK_FILEINFO& info, uint64_t size, const QString& folderPath) {
    ListRow row;
    const QString name = RemoteRowName(Text(info.pszName), folderPath);
    const CFileTypes::Kind& kind = CFileTypes::Instance().ForFileName(name);
    row.columns[kColumnName] = name;
    // Unsigned and in full: the whole size when the server sent one beyond 32 bits.
    row.columns[kColumnSize] = SizeText(size);
    row.columns[kColumnType] = FileTypeText(name, kind.typeName);
    row.columns[kColumnDate] = Text(info.pszDate);
    row.icon = kind.icon;
    return row;
}

} // namespace

RemoteListing ListRemoteFolder(TAVIK_SESSION session, const QString& folderPath) {
    RemoteListing listing;
    const std::u16string path = folderPath.toStdU16String();
    int count = 0;
    ListHandle folders(tavik_OpenFileInfo(path.c_str(), kInfoTypeFolders, 1, &count, session));
    if (!folders) {
        listing.errorCode = tavik_GetLastError();
        listing.errorText = Text(tavik_GetLastErrStr());
        return listing;
    }
    listing.ok = true;
    for (int i = 1; i < count; ++i) {
        if (const TAVIK_FILEINFO* info = tavik_ReadFileInfo(folders.get(), i)) {
            listing.rows.push_back(FolderRow(*info, folderPath));
        }
    }
    folders.reset();
    count = 0;
    ListHandle files(tavik_OpenFileInfo(path.c_str(), kInfoTypeFiles, 1, &count, session));
    for (int j = 0; files && j < count; ++j) {
        if (const TAVIK_FILEINFO* info = tavik_ReadFileInfo(files.get(), j)) {
            const int64_t size = tavik_GetFileInfoSize64(files.get(), j);
            listing.rows.push_back(
                FileRow(*info, size >= 0 ? static_cast<uint64_t>(size) : info->dwSize, folderPath));
        }
    }
    return listing;
}

} // namespace tavik::app
