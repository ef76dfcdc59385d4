// The texts the panes derive from paths, names and times; plain functions, tested without a
// screen.
//
// Path bar paths: the remote bar's path is "/전체 TAVIK 보기/<disk name>/<folder>/…", the local
// bar's "\My Device\<folder>\…"; a button's display text ends in " ▼", which every reader strips.
// Threads: any.
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace tavik::app {

inline const QString kArrowSuffix = QStringLiteral(" ▼");
inline const QString kRemoteRootComponent = QStringLiteral("전체 TAVIK 보기");
inline const QString kLocalRootComponent = QStringLiteral("My Device");

// Removes every " ▼".
QString StripArrow(const QString& text);

// The remote folder the library is given for a remote bar path: "/전체 TAVIK 보기" removed,
// everything before the first "/" at or after index 1 removed (all of it when there is none),
// leading blanks trimmed, and the session path prepended without a separator. The disk's root
// gives the session path itself; ".../<disk>/docs/a" gives the session path + "/docs/a".
QString RemoteFolderPath(const QString& sessionPath, const QString& remoteBarPath);

// The device path of a local bar path: " ▼" and "\My Device" removed, leading blanks trimmed
// (the device root is the empty text).
QString DevicePathOfLocalBar(const QString& localBarPath);

// The name a remote row shows for a listed entry's full path: the listed folder's path removed
// from its front, then every "/" removed. A full path that does not begin with the folder (a
// server that answers otherwise) keeps only its last component.
QString RemoteRowName(const QString& fullPath, const QString& folderPath);

// The type text of a file row when the platform knows no type name for the file name: "파일"
// for a name without ".", else the extension after the last "." in upper case + " 파일". A
// non-empty platform type name is returned as it is.
QString FileTypeText(const QString& fileName, const QString& platformTypeName);

// The date column of a local row, from a local time: "YYYY-MM-DD AM hh:mm"; hours 0 to 12 print
// as they are with "AM" (noon is AM 12:05), hours 13 to 23 minus 12 with "PM".
QString FormatListDate(const QDateTime& localTime);

// A path button's text for its current component: component + " ▼", or, when that text is wider
// than 179 pixels as textWidth measures it, its first 16 characters + "...▼".
inline constexpr int kPathButtonMaxWidth = 179;
inline constexpr int kPathButtonCutLength = 16;
QString PathButtonText(const QString& component,
                       const std::function<int(const QString&)>& textWidth);

} // namespace tavik::app
