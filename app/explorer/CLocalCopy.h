// Files and folders of this machine (dropped from the desktop's file manager) copied into a
// device folder, as planned by CBatchPlanner over their host paths. Folders are made before
// what they hold (an existing one is used); each file is copied to a hidden file beside its
// destination and takes its name only when whole, so nothing is ever left half-copied under a
// real name. An existing destination is decided by CConflictPolicy (replace, skip, cancel,
// "모두 적용"; resume is never offered: a local copy is quick to make again).
// Threads: user-interface thread.
#pragma once

#include "app/explorer/CBatchPlanner.h"
#include "app/explorer/CConflictPolicy.h"

#include <set>
#include <vector>

namespace tavik::app {

class CLocalCopy {
public:
    explicit CLocalCopy(CConflictPolicy::Asker asker);

    // Runs the plan; afterwards Failures() holds the plan's failures and the run's.
    void Run(BatchPlan plan);

    int Copied() const { return copied_; }
    // The user answered "취소" to a question: nothing more is to be copied.
    bool Cancelled() const { return cancelled_; }
    const std::vector<BatchFailure>& Failures() const { return failures_; }

private:
    bool MakeFolder(const BatchItem& item);
    // false when the batch is to stop.
    bool CopyFile(const BatchItem& item);
    bool InsideFailedFolder(const QString& shownName) const;

    CConflictPolicy policy_;
    std::vector<BatchFailure> failures_;
    std::set<QString> failedFolders_;
    int copied_ = 0;
    bool cancelled_ = false;
};

} // namespace tavik::app
