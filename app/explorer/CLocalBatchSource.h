// The device's side of a batch: the entries of a device folder, read on the host. Links are
// told apart: a link to a folder, to a file inside `root` (the folder the pane shows, on the
// host, links resolved), to a file elsewhere, or to nothing.
// Threads: any.
#pragma once

#include "app/explorer/BatchSource.h"

#include <filesystem>

namespace tavik::app {

class CLocalBatchSource : public BatchSource {
public:
    // root: the device folder the pane shows; links to files below it are followed.
    explicit CLocalBatchSource(const QString& root);

    std::optional<std::vector<BatchSourceEntry>> List(const QString& folder,
                                                      QString& error) override;
    QString Join(const QString& folder, const QString& name) const override;

private:
    BatchSourceEntry::Link LinkKind(const std::filesystem::path& link) const;

    std::filesystem::path root_;
};

} // namespace tavik::app
