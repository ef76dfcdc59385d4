// Remote paths as the user types them, made into the full paths the server expects. Remote paths
// use "/" and begin with the session path, which is the disk's root: whatever the user types is
// a path on the disk, "/" and "" both being its root, and ".." never leaves the disk. Text is
// UTF-8 here; the caller converts at the library's interface.
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class CRemotePath {
public:
    // The full path of `typed` on the disk whose root is sessionPath. The result is normalised.
    static std::string resolve(std::string_view sessionPath, std::string_view typed);
    // The other way: a full path as the user would type it, from the disk's root ("/docs/a").
    // A path outside the disk is returned normalised as it is.
    static std::string onDisk(std::string_view sessionPath, std::string_view fullPath);
    // Collapses repeated "/", drops "." and a trailing "/", and lets ".." remove the component
    // before it (never climbing above "/"). Always begins with "/".
    static std::string normalize(std::string_view path);
    // folder + "/" + name, without doubling the separator.
    static std::string join(std::string_view folder, std::string_view name);
    // The last component ("" for "/").
    static std::string baseName(std::string_view path);
    // Everything before the last component ("/" for a top-level entry and for "/").
    static std::string parent(std::string_view path);
    // Whether two server paths name the same entry (they differ at most in a trailing "/" or
    // repeated separators).
    static bool same(std::string_view a, std::string_view b);
};

} // namespace tavik::cli
