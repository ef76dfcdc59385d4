#include "app/explorer/CBatchPlanner.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/LocalNames.h"
#include "app/explorer/TransferText.h"

#include "platform/AnsiCodePage.h"

#include <QHash>

#include <set>

namespace tavik::app {

int BatchPlan::FileCount() const {
    int files = 0;
    for (const BatchItem& item : items) {
        files += item.kind == BatchItem::Kind::File ? 1 : 0;
    }
    return files;
}

CBatchPlanner::CBatchPlanner(BatchSource& source, Direction direction, QString sourceFolder,
                             QString destinationFolder)
    : source_(source), direction_(direction), sourceFolder_(std::move(sourceFolder)),
      destinationFolder_(std::move(destinationFolder)) {}

QString CBatchPlanner::DestinationJoin(const QString& folder, const QString& name) const {
    const QChar separator = direction_ == Direction::Upload ? QLatin1Char('/') : QLatin1Char('\\');
    return folder + separator + name;
}

QString CBatchPlanner::NameProblem(const QString& name) const {
    // Both sides need one plain name: the device reads '\' as a separator, the disk '/'.
    if (!IsSingleLocalName(name)) {
        return kUnusableNameReason;
    }
    // A name that does not come back from the code page unchanged would name another file.
    const std::u16string wide = name.toStdU16String();
    if (platform::fromAnsi(platform::toAnsi(wide)) != wide) {
        return kUnmappableNameReason;
    }
    return QString();
}

BatchPlan CBatchPlanner::Plan(const std::vector<BatchSourceEntry>& picked, const int* cancel) {
    cancel_ = cancel;
    BatchPlan plan;
    std::set<QString> taken;
    for (const BatchSourceEntry& entry : picked) {
        if (Cancelled()) {
            break;
        }
        if (!taken.insert(entry.name).second) {
            plan.failures.push_back({entry.name, kSameNameReason});
            continue;
        }
        BatchSourceEntry top = entry;
        if (top.link == BatchSourceEntry::Link::ToFileOutside) {
            top.link = BatchSourceEntry::Link::ToFileInside;
        }
        Walk(top, sourceFolder_, destinationFolder_, QString(), plan);
    }
    return plan;
}

BatchPlan CBatchPlanner::PlanNames(const QStringList& names, const int* cancel) {
    QString error;
    const std::optional<std::vector<BatchSourceEntry>> listed = source_.List(sourceFolder_, error);
    // Thousands of picked rows are looked up in one pass over the listing, not one each.
    QHash<QString, const BatchSourceEntry*> byName;
    if (listed) {
        byName.reserve(static_cast<qsizetype>(listed->size()));
        for (const BatchSourceEntry& entry : *listed) {
            byName.insert(entry.name, &entry);
        }
    }
    std::vector<BatchSourceEntry> picked;
    std::vector<BatchFailure> missing;
    for (const QString& name : names) {
        if (const BatchSourceEntry* found = byName.value(name, nullptr)) {
            picked.push_back(*found);
        } else {
            missing.push_back({name, listed ? kMissingReason : ListingFailedReason(error)});
        }
    }
    BatchPlan plan = Plan(picked, cancel);
    plan.failures.insert(plan.failures.begin(), missing.begin(), missing.end());
    return plan;
}

void CBatchPlanner::Walk(const BatchSourceEntry& entry, const QString& sourceFolder,
                         const QString& destinationFolder, const QString& shownFolder,
                         BatchPlan& plan) {
    const QString shown =
        shownFolder.isEmpty() ? entry.name : shownFolder + QLatin1Char('/') + entry.name;
    const QString problem = NameProblem(entry.name);
    if (!problem.isEmpty()) {
        plan.failures.push_back({shown, problem});
        return;
    }
    switch (entry.link) {
    case BatchSourceEntry::Link::ToFolder:
        plan.failures.push_back({shown, kLinkToFolderReason});
        return;
    case BatchSourceEntry::Link::ToFileOutside:
        plan.failures.push_back({shown, kLinkOutsideReason});
        return;
    case BatchSourceEntry::Link::Dangling:
        plan.failures.push_back({shown, kDanglingLinkReason});
        return;
    case BatchSourceEntry::Link::None:
    case BatchSourceEntry::Link::ToFileInside:
        break;
    }
    const QString source = source_.Join(sourceFolder, entry.name);
    const QString destination = DestinationJoin(destinationFolder, entry.name);
    if (entry.kind == BatchSourceEntry::Kind::Other) {
        plan.failures.push_back({shown, kNotFileReason});
        return;
    }
    if (entry.kind == BatchSourceEntry::Kind::File) {
        if (entry.size >= kClampedSize && !acceptLarge_) {
            plan.failures.push_back({shown, kFileTooLargeText});
            return;
        }
        plan.items.push_back({BatchItem::Kind::File, source, destination, shown, entry.size});
        plan.totalBytes += entry.size;
        return;
    }
    QString error;
    const std::optional<std::vector<BatchSourceEntry>> children = source_.List(source, error);
    if (!children) {
        plan.failures.push_back({shown, ListingFailedReason(error)});
        return;
    }
    plan.items.push_back({BatchItem::Kind::Folder, source, destination, shown, 0});
    std::set<QString> taken;
    for (const BatchSourceEntry& child : *children) {
        if (Cancelled()) {
            return;
        }
        if (!taken.insert(child.name).second) {
            plan.failures.push_back({shown + QLatin1Char('/') + child.name, kSameNameReason});
            continue;
        }
        Walk(child, source, destination, shown, plan);
    }
}

} // namespace tavik::app
