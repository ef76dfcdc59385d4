#include "app/explorer/CBatchTransfer.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CRemoteReplacement.h"
#include "app/explorer/CTransferFlow.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/ResumeCheck.h"
#include "app/explorer/TransferText.h"
#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"

#include "platform/LocalFileSystem.h"
#include "sdk/include/TavikSDK.h"

#include <memory>

namespace tavik::app {

namespace {

struct ListCloser {
    void operator()(TAVIK_FILEINFO_LIST* list) const { tavik_CloseFileInfo(list); }
};
using ListHandle = std::unique_ptr<TAVIK_FILEINFO_LIST, ListCloser>;

constexpr int kInfoTypeFiles = 61;
constexpr int kFolderType = 1;

QString LibraryText() {
    LPCWSTR text = tavik_FormatMessage(tavik_GetLastError());
    return text != nullptr ? QString::fromUtf16(text) : QString();
}

// What the disk holds at a path, by one file-information list of the entry itself.
struct RemoteEntry {
    bool exists = false;
    bool folder = false;
    uint64_t size = 0;
    bool unreachable = false; // the connection failed: nothing is known
};

RemoteEntry LookUp(TAVIK_SESSION session, const QString& path) {
    RemoteEntry entry;
    int count = 0;
    ListHandle list(
        tavik_OpenFileInfo(path.toStdU16String().c_str(), kInfoTypeFiles, 0, &count, session));
    if (!list) {
        entry.unreachable = tavik_GetLastError() / 1000 == 21;
        return entry;
    }
    if (const TAVIK_FILEINFO* info = count > 0 ? tavik_ReadFileInfo(list.get(), 0) : nullptr) {
        entry.exists = true;
        entry.folder = info->dwType == kFolderType;
        const int64_t size = tavik_GetFileInfoSize64(list.get(), 0);
        entry.size = size >= 0 ? static_cast<uint64_t>(size) : info->dwSize;
    }
    return entry;
}

// The path before the last "/", or an empty text when there is none.
QString ParentOf(const QString& path) {
    const int cut = path.lastIndexOf(QLatin1Char('/'));
    return cut < 0 ? QString() : path.left(cut);
}

bool LocalEntry(const QString& devicePath, platform::LocalFileInfo& info) {
    return platform::getFileInfo(devicePath.toStdU16String(), info) == platform::kErrorSuccess;
}

} // namespace

CBatchTransfer::CBatchTransfer(CTransferFlow& flow, CBatchPlanner::Direction direction,
                               TAVIK_SESSION session, CConflictPolicy::Asker asker)
    : flow_(flow), direction_(direction), session_(session), policy_(std::move(asker)) {}

QString CBatchTransfer::PartialPath(const QString& destination) {
    const int cut = destination.lastIndexOf(QLatin1Char('\\'));
    return destination.left(cut + 1) + QLatin1Char('.') + destination.mid(cut + 1) +
           QStringLiteral(".tavik-part");
}

bool CBatchTransfer::Cancelled() const {
    return flow_.CancelFlag() != 0;
}

void CBatchTransfer::Fail(const BatchItem& item, const QString& reason) {
    failures_.push_back({item.shownName, reason});
}

bool CBatchTransfer::InsideFailedFolder(const QString& shownName) const {
    for (QString folder = ParentOf(shownName); !folder.isEmpty(); folder = ParentOf(folder)) {
        if (failedFolders_.count(folder) != 0) {
            return true;
        }
    }
    return false;
}

void CBatchTransfer::Run(BatchPlan plan) {
    failures_ = std::move(plan.failures);
    const bool download = direction_ == CBatchPlanner::Direction::Download;
    flow_.BeginBatch(download, plan.FileCount(), plan.totalBytes);
    uint64_t before = 0;
    int file = 0;
    for (const BatchItem& item : plan.items) {
        if (Cancelled()) {
            break;
        }
        const bool folder = item.kind == BatchItem::Kind::Folder;
        if (InsideFailedFolder(item.shownName)) {
            Fail(item, MakeFolderFailedReason(ParentOf(item.shownName)));
        } else if (folder && !MakeFolder(item)) {
            failedFolders_.insert(item.shownName);
        }
        if (folder || InsideFailedFolder(item.shownName)) {
            before += item.size;
            continue;
        }
        flow_.NextBatchFile(++file, before, item.shownName,
                            download ? item.destination : item.source);
        const Outcome outcome = download ? Download(item) : Upload(item);
        transferred_ += outcome == Outcome::Done ? 1 : 0;
        skipped_ += outcome == Outcome::Skipped ? 1 : 0;
        before += item.size;
    }
    flow_.EndBatch(!Cancelled());
    if (!failures_.empty()) {
        CMessageBox::Show(BatchFailureText(failures_), QString(), MB_OK | MB_ICONERROR,
                          flow_.BoxParent());
    }
}

bool CBatchTransfer::MakeFolder(const BatchItem& item) {
    if (direction_ == CBatchPlanner::Direction::Download) {
        const uint32_t error = platform::createFolder(item.destination.toStdU16String());
        platform::LocalFileInfo info;
        if (error == platform::kErrorSuccess ||
            (error == platform::kErrorAlreadyExists && LocalEntry(item.destination, info) &&
             info.isFolder)) {
            return true;
        }
        Fail(item,
             error == platform::kErrorAlreadyExists
                 ? kFolderExistsAsFileReason
                 : MakeFolderFailedReason(CLanguage::Tr(QStringLiteral("오류 %1")).arg(error)));
        return false;
    }
    if (tavik_MakeFolder(item.destination.toStdU16String().c_str(), session_)) {
        return true;
    }
    const QString why = LibraryText();
    const RemoteEntry entry = LookUp(session_, item.destination);
    if (entry.exists && entry.folder) {
        return true;
    }
    Fail(item, entry.exists ? kFolderExistsAsFileReason : MakeFolderFailedReason(why));
    return false;
}

ConflictAnswer CBatchTransfer::Ask(const BatchItem& item, uint64_t existingSize,
                                   const QString& remotePath, const QString& devicePath) {
    const ConflictQuestion question{item.shownName, item.size, existingSize, false};
    const ConflictAnswer answer = policy_.Decide(
        question, [&] { return SameBytesBefore(session_, remotePath, devicePath, existingSize); });
    if (answer == ConflictAnswer::Cancel) {
        flow_.RequestCancel();
    }
    return answer;
}

CBatchTransfer::Outcome CBatchTransfer::Download(const BatchItem& item) {
    const QString partial = PartialPath(item.destination);
    platform::LocalFileInfo target;
    const bool targetExists = LocalEntry(item.destination, target);
    if (targetExists && target.isFolder) {
        Fail(item, kFileExistsAsFolderReason);
        return Outcome::Failed;
    }
    platform::LocalFileInfo kept;
    const bool keptExists = LocalEntry(partial, kept) && !kept.isFolder && kept.size > 0;
    uint64_t start = 0;
    bool tookTarget = false;
    if (targetExists || keptExists) {
        // The destination itself, or what a stopped download of it left.
        const QString& existing = targetExists ? item.destination : partial;
        const uint64_t existingSize = targetExists ? target.size : kept.size;
        switch (Ask(item, existingSize, item.source, existing)) {
        case ConflictAnswer::Skip:
            return Outcome::Skipped;
        case ConflictAnswer::Cancel:
            return Outcome::Cancelled;
        case ConflictAnswer::Replace:
            break;
        case ConflictAnswer::Resume:
            start = existingSize;
            if (targetExists) {
                // The user's file is continued under the hidden name and comes back whole.
                platform::deleteFile(partial.toStdU16String());
                const uint32_t error =
                    platform::moveFile(item.destination.toStdU16String(), partial.toStdU16String());
                if (error != platform::kErrorSuccess) {
                    Fail(item, LocalRenameFailure(error, false).text);
                    return Outcome::Failed;
                }
                tookTarget = true;
            }
            break;
        }
    }
    const Outcome outcome = Transfer(item, item.source, partial, start);
    if (outcome == Outcome::Done) {
        const uint32_t error =
            platform::replaceFile(partial.toStdU16String(), item.destination.toStdU16String());
        if (error == platform::kErrorSuccess) {
            return Outcome::Done;
        }
        Fail(item, LocalRenameFailure(error, false).text);
    }
    platform::LocalFileInfo left;
    if (tookTarget) {
        // Back under its own name, with whatever arrived after its old end.
        platform::moveFile(partial.toStdU16String(), item.destination.toStdU16String());
    } else if (LocalEntry(partial, left) && left.size == 0) {
        platform::deleteFile(partial.toStdU16String());
    }
    return outcome == Outcome::Done ? Outcome::Failed : outcome;
}

CBatchTransfer::Outcome CBatchTransfer::Upload(const BatchItem& item) {
    const RemoteEntry existing = LookUp(session_, item.destination);
    if (existing.unreachable) {
        Fail(item, LibraryText());
        return Outcome::Failed;
    }
    if (existing.exists && existing.folder) {
        Fail(item, kFileExistsAsFolderReason);
        return Outcome::Failed;
    }
    if (existing.exists) {
        switch (Ask(item, existing.size, item.destination, item.source)) {
        case ConflictAnswer::Skip:
            return Outcome::Skipped;
        case ConflictAnswer::Cancel:
            return Outcome::Cancelled;
        case ConflictAnswer::Resume:
            // The remote file's bytes are known to match: it is continued where it is.
            return Transfer(item, item.source, item.destination, existing.size);
        case ConflictAnswer::Replace:
            break;
        }
    }
    // The bytes go to a hidden name; the target changes only once they have all arrived.
    CRemoteReplacement replacement(session_, ParentOf(item.destination));
    const Outcome outcome = Transfer(item, item.source, replacement.Path(), 0);
    if (outcome == Outcome::Done) {
        const CRemoteReplacement::CommitResult committed = replacement.Commit(item.destination);
        if (!committed.ok) {
            Fail(item, committed.errorText);
            return Outcome::Failed;
        }
    }
    replacement.Discard();
    return outcome;
}

CBatchTransfer::Outcome CBatchTransfer::Transfer(const BatchItem& item, const QString& source,
                                                 const QString& destination, uint64_t start) {
    const std::optional<std::string> from = TransferPathBytes(source);
    const std::optional<std::string> to = TransferPathBytes(destination);
    if (!from || !to) {
        Fail(item, kPathTooLongText);
        return Outcome::Failed;
    }
    const bool ok = flow_.CallLibrary({from->c_str(), to->c_str(), start, item.size, start == 0});
    if (Cancelled()) {
        return Outcome::Cancelled;
    }
    if (!ok) {
        Fail(item, LibraryText());
        return Outcome::Failed;
    }
    return Outcome::Done;
}

} // namespace tavik::app
