#include "app/explorer/CLocalBatchSource.h"

#include "platform/LocalFileSystem.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace tavik::app {

CLocalBatchSource::CLocalBatchSource(const QString& root, Paths paths) : paths_(paths) {
    std::error_code ec;
    root_ = fs::weakly_canonical(HostPath(root), ec);
}

fs::path CLocalBatchSource::HostPath(const QString& path) const {
    return paths_ == Paths::Host ? fs::path(path.toStdString())
                                 : fs::path(platform::hostPath(path.toStdU16String()));
}

QString CLocalBatchSource::Join(const QString& folder, const QString& name) const {
    const QChar separator = paths_ == Paths::Host ? QLatin1Char('/') : QLatin1Char('\\');
    return folder + separator + name;
}

BatchSourceEntry::Link CLocalBatchSource::LinkKind(const fs::path& link) const {
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    if (ec) {
        return BatchSourceEntry::Link::Dangling;
    }
    if (fs::is_directory(target, ec)) {
        return BatchSourceEntry::Link::ToFolder;
    }
    const auto [rootEnd, targetAt] =
        std::mismatch(root_.begin(), root_.end(), target.begin(), target.end());
    return rootEnd == root_.end() ? BatchSourceEntry::Link::ToFileInside
                                  : BatchSourceEntry::Link::ToFileOutside;
}

std::optional<std::vector<BatchSourceEntry>> CLocalBatchSource::List(const QString& folder,
                                                                     QString& error) {
    std::vector<BatchSourceEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(HostPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        BatchSourceEntry entry;
        entry.name = QString::fromStdString(it->path().filename().string());
        std::error_code statusError;
        if (it->is_symlink(statusError)) {
            entry.link = LinkKind(it->path());
        }
        const fs::file_status status = it->status(statusError);
        if (fs::is_directory(status)) {
            entry.kind = BatchSourceEntry::Kind::Folder;
        } else if (fs::is_regular_file(status)) {
            entry.kind = BatchSourceEntry::Kind::File;
            entry.size = it->file_size(statusError);
        } else {
            entry.kind = BatchSourceEntry::Kind::Other;
        }
        entries.push_back(std::move(entry));
    }
    if (ec) {
        error = QString::fromStdString(ec.message());
        return std::nullopt;
    }
    std::sort(entries.begin(), entries.end(),
              [](const BatchSourceEntry& a, const BatchSourceEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace tavik::app
