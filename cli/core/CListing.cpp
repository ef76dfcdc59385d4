#include "cli/core/CListing.h"

#include "cli/core/CJson.h"
#include "cli/core/CRemotePath.h"
#include "cli/core/CTerminalText.h"

#include <algorithm>
#include <cstdio>

namespace tavik::cli {

void CListing::sort(std::vector<RemoteEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RemoteEntry& a, const RemoteEntry& b) {
                         if (a.folder != b.folder) {
                             return a.folder;
                         }
                         return CRemotePath::baseName(a.path) < CRemotePath::baseName(b.path);
                     });
}

std::string CListing::render(const std::vector<RemoteEntry>& entries, bool longForm) {
    size_t sizeWidth = 1;
    size_t dateWidth = 0;
    for (const RemoteEntry& e : entries) {
        sizeWidth = std::max(sizeWidth, std::to_string(e.size).size());
        dateWidth = std::max(dateWidth, CTerminalText::escaped(e.date).size());
    }
    std::string out;
    for (const RemoteEntry& e : entries) {
        const std::string name = CTerminalText::escaped(CRemotePath::baseName(e.path));
        const std::string date = CTerminalText::escaped(e.date);
        if (!longForm) {
            out += name + (e.folder ? "/" : "") + "\n";
            continue;
        }
        const std::string size = std::to_string(e.size);
        out += e.folder ? 'd' : '-';
        out += ' ';
        out.append(sizeWidth - size.size(), ' ');
        out += size;
        out += "  ";
        out += date;
        out.append(dateWidth - date.size(), ' ');
        out += "  ";
        out += name;
        out += e.folder ? "/\n" : "\n";
    }
    return out;
}

std::string CListing::describe(const RemoteEntry& entry) {
    std::string out;
    out += "Path: " + CTerminalText::escaped(entry.path) + "\n";
    out += std::string("Type: ") + (entry.folder ? "folder" : "file") + "\n";
    out += "Size: " + std::to_string(entry.size) + "\n";
    out += "Date: " + CTerminalText::escaped(entry.date) + "\n";
    return out;
}

std::string CListing::jsonEntry(const RemoteEntry& entry) {
    return CJson()
        .field("name", CRemotePath::baseName(entry.path))
        .field("path", entry.path)
        .field("type", entry.folder ? "folder" : "file")
        .field("size", entry.size)
        .field("date", entry.date)
        .str();
}

std::string CListing::jsonList(const std::vector<RemoteEntry>& entries) {
    std::string out = "[";
    for (const RemoteEntry& e : entries) {
        out += (out.size() > 1 ? "," : "") + jsonEntry(e);
    }
    return out + "]\n";
}

} // namespace tavik::cli
