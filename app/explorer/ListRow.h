// One row of a pane's list as the listings build it: the four column texts ("파일명",
// "크기(byte)", and the hidden "종류" and "날짜" that the sorts read) and the row's icon.
// Rows carry nothing else; the lists never keep per-row data beyond these.
#pragma once

#include <QIcon>
#include <QString>

#include <array>

namespace tavik::app {

inline constexpr int kColumnName = 0;
inline constexpr int kColumnSize = 1;
inline constexpr int kColumnType = 2;
inline constexpr int kColumnDate = 3;
inline constexpr int kColumnCount = 4;

// Column 1 of a folder row; the sorts put such rows first.
inline const QString kFolderSizeText = QStringLiteral("폴더");

// Column 1 of a disk row in the remote list.
inline const QString kConnectedText = QStringLiteral("연결됨");
inline const QString kDisconnectedText = QStringLiteral("끊김");

struct ListRow {
    std::array<QString, kColumnCount> columns;
    QIcon icon;

    bool IsFolder() const { return columns[kColumnSize] == kFolderSizeText; }
};

} // namespace tavik::app
