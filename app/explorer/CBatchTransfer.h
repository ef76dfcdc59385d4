// One batch of uploads or downloads, as planned by CBatchPlanner, run in one TransferDialog:
// "진행 상태" counts the files (n of N), the bars and bytes cover the whole batch, the file text
// names the file under way. Folders are made before what they hold (an existing folder is
// used; a file in the way fails the folder and, named one by one, everything in it).
//
// Every file goes to a hidden name first and takes its real name only when complete:
// - a download fills ".NAME.tavik-part" beside its destination; a cancelled or failed download
//   keeps that file when anything arrived, and the next download of the same file asks whether
//   to continue it;
// - an upload goes to a hidden remote name (CRemoteReplacement); resuming an upload continues
//   the remote file in place (its first bytes are known to match).
// An existing destination (or a kept partial download) is decided by CConflictPolicy: replace,
// skip, resume, cancel, "모두 적용". A file whose destination was taken over for resuming gets
// it back, with what arrived, when the transfer stops.
//
// Cancel (the dialog's "취소", or the question's) stops the batch after the file under way.
// At the end the failures (the plan's and the run's), each named with its reason, are shown
// in one box; the receiving pane is listed again.
// Threads: user-interface thread.
#pragma once

#include "app/explorer/CBatchPlanner.h"
#include "app/explorer/CConflictPolicy.h"

#include "sdk/include/TavikTypes.h"

#include <QString>

#include <cstdint>
#include <set>
#include <vector>

namespace tavik::app {

class CTransferFlow;

class CBatchTransfer {
public:
    enum class Outcome { Done, Skipped, Failed, Cancelled };

    CBatchTransfer(CTransferFlow& flow, CBatchPlanner::Direction direction, TAVIK_SESSION session,
                   CConflictPolicy::Asker asker);

    // Runs the plan; its failures are reported with the run's own.
    void Run(BatchPlan plan);

    int Transferred() const { return transferred_; }
    int Skipped() const { return skipped_; }
    const std::vector<BatchFailure>& Failures() const { return failures_; }
    bool Cancelled() const;

    // The hidden file a download of `destination` (a device path) fills.
    static QString PartialPath(const QString& destination);

private:
    bool MakeFolder(const BatchItem& item);
    Outcome Download(const BatchItem& item);
    Outcome Upload(const BatchItem& item);
    // The library call of one file in the dialog; Failed with the library's text as failure.
    Outcome Transfer(const BatchItem& item, const QString& source, const QString& destination,
                     uint64_t start);
    ConflictAnswer Ask(const BatchItem& item, uint64_t existingSize, const QString& remotePath,
                       const QString& devicePath);
    bool InsideFailedFolder(const QString& shownName) const;
    void Fail(const BatchItem& item, const QString& reason);

    CTransferFlow& flow_;
    CBatchPlanner::Direction direction_;
    TAVIK_SESSION session_;
    CConflictPolicy policy_;
    std::vector<BatchFailure> failures_;
    std::set<QString> failedFolders_;
    int transferred_ = 0;
    int skipped_ = 0;
};

} // namespace tavik::app
