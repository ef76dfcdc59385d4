// Which names may become one entry of a device folder, and the device path of such an entry.
//
// A device path uses '\' and '/' between components and resolves ".." (LocalFileSystem.h), so a
// name holding either separator, or "." or "..", names something else than an entry of the
// folder: a remote name like "..\victim.txt" would land beside the folder, not in it. Names from
// the server, from the device's own listing and typed into rename all pass through here before a
// path is built from them.
// Threads: any (reads TAVIK_DEVICE_ROOT through the platform).
#pragma once

#include <QString>

#include <optional>

namespace tavik::app {

// Whether the name can be one entry of a folder: not empty, not "." or "..", and without '\',
// '/' or NUL.
bool IsSingleLocalName(const QString& name);

// Whether the name can be one entry of a remote folder: not empty, not "." or "..", and without
// '/' or NUL ('\' is an ordinary character on the disk).
bool IsSingleRemoteName(const QString& name);

// The device path of the entry `name` directly inside the device folder `folder`, or nullopt
// when the name is no single name or the path would, on the host, lie anywhere but directly
// inside that folder.
std::optional<QString> EntryInFolder(const QString& folder, const QString& name);

// Our own text for a name that cannot be used here, naming it (a NUL shown as "\0").
QString UnusableNameText(const QString& name);

} // namespace tavik::app
