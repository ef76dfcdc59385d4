// One side of a batch transfer as the batch planner walks it: the entries directly inside a
// folder. The device side (CLocalBatchSource) and the disk side (CRemoteBatchSource) implement
// it; the tests give rows of their own.
// Threads: whatever the implementation allows (both of ours: the user-interface thread).
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tavik::app {

struct BatchSourceEntry {
    enum class Kind { File, Folder, Other };
    // A symbolic link's target, as far as the side can tell.
    enum class Link { None, ToFileInside, ToFileOutside, ToFolder, Dangling };

    QString name; // the entry's own name, no separator
    Kind kind = Kind::File;
    Link link = Link::None;
    uint64_t size = 0;
};

class BatchSource {
public:
    virtual ~BatchSource() = default;
    // The entries of the folder (a path of this side), or nullopt with the reason in `error`.
    virtual std::optional<std::vector<BatchSourceEntry>> List(const QString& folder,
                                                              QString& error) = 0;
    // The path of `name` directly inside `folder` on this side.
    virtual QString Join(const QString& folder, const QString& name) const = 0;
};

} // namespace tavik::app
