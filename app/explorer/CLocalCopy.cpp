#include "app/explorer/CLocalCopy.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CLocalReplacement.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CLanguage.h"

#include "platform/LocalFileSystem.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace tavik::app {

namespace {

QString ParentOf(const QString& path) {
    const int cut = path.lastIndexOf(QLatin1Char('/'));
    return cut < 0 ? QString() : path.left(cut);
}

QString FolderOf(const QString& devicePath) {
    return devicePath.left(
        std::max<int>(0, static_cast<int>(devicePath.lastIndexOf(QLatin1Char('\\')))));
}

} // namespace

CLocalCopy::CLocalCopy(CConflictPolicy::Asker asker) : policy_(std::move(asker)) {}

bool CLocalCopy::InsideFailedFolder(const QString& shownName) const {
    for (QString folder = ParentOf(shownName); !folder.isEmpty(); folder = ParentOf(folder)) {
        if (failedFolders_.count(folder) != 0) {
            return true;
        }
    }
    return false;
}

void CLocalCopy::Run(BatchPlan plan) {
    failures_ = std::move(plan.failures);
    for (const BatchItem& item : plan.items) {
        if (cancelled_) {
            return;
        }
        if (InsideFailedFolder(item.shownName)) {
            failures_.push_back({item.shownName, MakeFolderFailedReason(ParentOf(item.shownName))});
            continue;
        }
        if (item.kind == BatchItem::Kind::Folder) {
            if (!MakeFolder(item)) {
                failedFolders_.insert(item.shownName);
            }
            continue;
        }
        if (!CopyFile(item)) {
            return;
        }
    }
}

bool CLocalCopy::MakeFolder(const BatchItem& item) {
    const uint32_t error = platform::createFolder(item.destination.toStdU16String());
    platform::LocalFileInfo info;
    if (error == platform::kErrorSuccess ||
        (error == platform::kErrorAlreadyExists &&
         platform::getFileInfo(item.destination.toStdU16String(), info) ==
             platform::kErrorSuccess &&
         info.isFolder)) {
        return true;
    }
    failures_.push_back(
        {item.shownName,
         error == platform::kErrorAlreadyExists
             ? kFolderExistsAsFileReason
             : MakeFolderFailedReason(CLanguage::Tr(QStringLiteral("오류 %1")).arg(error))});
    return false;
}

bool CLocalCopy::CopyFile(const BatchItem& item) {
    platform::LocalFileInfo existing;
    if (platform::getFileInfo(item.destination.toStdU16String(), existing) ==
        platform::kErrorSuccess) {
        if (existing.isFolder) {
            failures_.push_back({item.shownName, kFileExistsAsFolderReason});
            return true;
        }
        switch (policy_.Decide({item.shownName, item.size, existing.size, false}, {})) {
        case ConflictAnswer::Skip:
            return true;
        case ConflictAnswer::Cancel:
            cancelled_ = true;
            return false;
        case ConflictAnswer::Replace:
        case ConflictAnswer::Resume:
            break;
        }
    }
    CLocalReplacement replacement(FolderOf(item.destination));
    std::error_code ec;
    if (!replacement.Ready() ||
        !fs::copy_file(fs::path(item.source.toStdString()),
                       fs::path(platform::hostPath(replacement.Path().toStdU16String())),
                       fs::copy_options::overwrite_existing, ec)) {
        failures_.push_back(
            {item.shownName, ec ? QString::fromStdString(ec.message())
                                : CannotCreateFileText(FolderOf(item.destination))});
        return true;
    }
    const uint32_t error = replacement.Commit(item.destination);
    if (error != platform::kErrorSuccess) {
        failures_.push_back({item.shownName, LocalRenameFailure(error, false).text});
        return true;
    }
    ++copied_;
    return true;
}

} // namespace tavik::app
