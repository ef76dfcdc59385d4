// The device's side of a batch: the entries of a device folder, read on the host. Links are
// told apart: a link to a folder, to a file inside `root` (the folder the pane shows, on the
// host, links resolved), to a file elsewhere, or to nothing. Paths are device paths, or host
// paths for files that come from elsewhere on this machine (a drop from the desktop).
// Threads: any.
#pragma once

#include "app/explorer/BatchSource.h"

#include <filesystem>

namespace tavik::app {

class CLocalBatchSource : public BatchSource {
public:
    enum class Paths { Device, Host };
    // root: the folder the pane shows (or the dropped files' folder); links to files below it
    // are followed.
    explicit CLocalBatchSource(const QString& root, Paths paths = Paths::Device);

    std::optional<std::vector<BatchSourceEntry>> List(const QString& folder,
                                                      QString& error) override;
    QString Join(const QString& folder, const QString& name) const override;

private:
    BatchSourceEntry::Link LinkKind(const std::filesystem::path& link) const;
    std::filesystem::path HostPath(const QString& path) const;

    Paths paths_;
    std::filesystem::path root_;
};

} // namespace tavik::app
