// The layout of "ls": folders first, then files, each group by name; a short form (names,
// folders marked with a trailing "/") and a long form (type, size, the server's date text, name).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::cli {

// One remote entry in the client's terms (UTF-8 text).
struct RemoteEntry {
    std::string path; // full remote path
    uint64_t size = 0;
    bool folder = false;
    std::string date; // as the server formats it; may be empty
};

class CListing {
public:
    static void sort(std::vector<RemoteEntry>& entries);
    // One line per entry, each ending in "\n". Names are the last path component. The server's
    // texts (names, dates) are shown escaped, here and in describe() (see CTerminalText).
    static std::string render(const std::vector<RemoteEntry>& entries, bool longForm);
    // The detail block of "stat".
    static std::string describe(const RemoteEntry& entry);
    // --json: one entry as an object, a listing as an array of them (one line, then a newline).
    static std::string jsonEntry(const RemoteEntry& entry);
    static std::string jsonList(const std::vector<RemoteEntry>& entries);
};

} // namespace tavik::cli
