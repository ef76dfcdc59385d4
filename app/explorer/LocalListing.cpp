#include "app/explorer/LocalListing.h"

#include "app/explorer/CFileTypes.h"
#include "app/explorer/PaneText.h"
#include "app/explorer/TransferText.h"

#include "platform/CFindFile.h"

#include <cstdint>

namespace tavik::app {

namespace {

QString DateText(int64_t lastWriteTime) {
    return FormatListDate(QDateTime::fromSecsSinceEpoch(lastWriteTime).toLocalTime());
}

ListRow FolderRow(const platform::FoundEntry& entry) {
    ListRow row;
    const QString name = QString::fromStdU16String(entry.name);
    row.columns[kColumnName] = name;
    row.columns[kColumnSize] = kFolderSizeText;
    row.columns[kColumnType] = entry.info.isTemporary ? kStorageCardTypeText : name;
    row.columns[kColumnDate] = DateText(entry.info.lastWriteTime);
    row.icon = CFileTypes::Instance().FolderIcon();
    return row;
}

ListRow FileRow(const platform::FoundEntry& entry) {
    ListRow row;
    const QString name = QString::fromStdU16String(entry.name);
    const CFileTypes::Kind& kind = CFileTypes::Instance().ForFileName(name);
    row.columns[kColumnName] = name;
    // In full: a file of 4 GiB or more shows its size, not its low 32 bits.
    row.columns[kColumnSize] = SizeText(entry.info.size);
    row.columns[kColumnType] = FileTypeText(name, kind.typeName);
    row.columns[kColumnDate] = DateText(entry.info.lastWriteTime);
    row.icon = kind.icon;
    return row;
}

void AppendEntries(const std::u16string& pattern, bool folders, bool dotFiles,
                   std::vector<ListRow>& rows) {
    platform::CFindFile find;
    for (bool more = find.First(pattern); more; more = find.Next()) {
        const platform::FoundEntry& entry = find.entry();
        if (entry.info.isFolder != folders || (!dotFiles && entry.name.starts_with(u'.'))) {
            continue;
        }
        rows.push_back(folders ? FolderRow(entry) : FileRow(entry));
    }
}

} // namespace

std::vector<ListRow> ListLocalFolder(const QString& devicePath, bool dotFiles) {
    const std::u16string pattern = (devicePath + QStringLiteral("\\*.*")).toStdU16String();
    std::vector<ListRow> rows;
    AppendEntries(pattern, true, dotFiles, rows);
    AppendEntries(pattern, false, dotFiles, rows);
    return rows;
}

} // namespace tavik::app
