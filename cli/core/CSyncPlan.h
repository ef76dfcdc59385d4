// What "sync SRC DST" does, worked out from the two trees before anything changes:
// - a file the destination lacks, or holds with another size or modification time, is copied;
//   with --checksum a file whose size and time agree is marked for a byte comparison;
// - a folder the destination lacks is made;
// - with --delete, what the destination holds and the source does not is removed (never
//   without the flag); a folder removed takes what is in it;
// - --include / --exclude patterns (CGlob) decide first, in the order given: the first that
//   matches wins, and what no pattern matches is included. A pattern without "/" is matched
//   against each name, one with "/" against the whole relative path. An excluded folder is
//   left out with everything in it, on both sides (so --delete never removes it);
// - the transfers' own temporary files (".NAME.tavik-part", ".NAME.tavik-old") are never
//   synced or deleted.
// Times are compared as the server gives them (to the minute, in its time zone), so two
// versions of a file of one size written within the same minute look the same: --checksum
// tells them apart.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tavik::cli {

struct SyncEntry {
    bool folder = false;
    uint64_t size = 0;
    std::string minute; // "YYYY-MM-DD HH:MM", as the server writes dates
};

// A tree by relative path ("a/b.txt", no leading "/").
using SyncTree = std::map<std::string, SyncEntry>;

struct SyncFilter {
    bool include = true;
    std::string pattern;
};

struct SyncPlan {
    std::vector<std::string> makeFolders;  // parents first
    std::vector<std::string> copy;         // files to transfer
    std::vector<std::string> compareBytes; // --checksum: same size and time, to be compared
    std::vector<std::string> remove;       // --delete: deepest first
    size_t unchanged = 0;                  // files left as they are
};

class CSyncPlan {
public:
    static SyncPlan make(const SyncTree& source, const SyncTree& destination,
                         const std::vector<SyncFilter>& filters, bool checksum, bool remove);
    // Whether a relative path takes part (filters, and not one of the transfers' own files).
    static bool included(const std::string& relative, const std::vector<SyncFilter>& filters);
};

} // namespace tavik::cli
