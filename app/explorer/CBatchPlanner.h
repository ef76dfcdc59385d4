// Turns the rows a user picked into the list of what a batch transfer does: folders to make and
// files to copy, in the order they are to happen (a folder before what it holds), with the total
// of the files' bytes; and every entry that will not be transferred, named with the reason.
// Nothing is dropped in silence:
// - a link to a folder is never followed; a link to a file is taken only when it points inside
//   the folder the user picked, and a link whose target is missing is named too;
// - a name the system code page cannot carry (it would come back as another name), a name that
//   is no single entry on the receiving side (holding '/', or '\' going to the device, "." or
//   "..") and a second name that would land on the same destination are named;
// - files of 4 GiB or more (the 32-bit transfer range), unless AcceptLargeFiles said the session
//   carries 64-bit positions, and a folder that cannot be listed are named; so is anything that
//   is neither file nor folder.
// Walking stops early when the cancel flag is set (the plan then holds what was walked).
// Threads: the caller's; the source must allow it.
#pragma once

#include "app/explorer/BatchSource.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tavik::app {

struct BatchItem {
    enum class Kind { Folder, File };
    Kind kind = Kind::File;
    QString source;      // path on the sending side
    QString destination; // path on the receiving side
    QString shownName;   // the path below the folders the panes show, "/"-separated
    uint64_t size = 0;
};

struct BatchFailure {
    QString name; // as shownName
    QString reason;
};

struct BatchPlan {
    std::vector<BatchItem> items;
    std::vector<BatchFailure> failures;
    uint64_t totalBytes = 0;
    int FileCount() const;
};

class CBatchPlanner {
public:
    enum class Direction { Upload, Download };

    // source walks the sending side; the paths given are the folders the two panes show.
    CBatchPlanner(BatchSource& source, Direction direction, QString sourceFolder,
                  QString destinationFolder);

    // The picked entries of the source folder (rows of its pane). A link among them that points
    // to a file is taken wherever the file lies: the user picked it.
    BatchPlan Plan(const std::vector<BatchSourceEntry>& picked, const int* cancel = nullptr);
    // The same for rows picked by name: the source folder is listed once and the names looked up
    // in it; a name it does not hold is named as a failure.
    BatchPlan PlanNames(const QStringList& names, const int* cancel = nullptr);

    // Whether files of 4 GiB or more are planned (the server agreed on 64-bit positions); by
    // default they are named as failures.
    void AcceptLargeFiles(bool accept) { acceptLarge_ = accept; }

    // The largest size the 32-bit transfer range carries; a disk that did not agree on 64-bit
    // sizes reports this for anything larger.
    static constexpr uint64_t kClampedSize = 0xFFFFFFFF;

private:
    void Walk(const BatchSourceEntry& entry, const QString& sourceFolder,
              const QString& destinationFolder, const QString& shownFolder, BatchPlan& plan);
    QString DestinationJoin(const QString& folder, const QString& name) const;
    // Our reason why the name cannot be sent, or an empty text.
    QString NameProblem(const QString& name) const;
    bool Cancelled() const { return cancel_ != nullptr && *cancel_ != 0; }

    BatchSource& source_;
    Direction direction_;
    QString sourceFolder_;
    QString destinationFolder_;
    const int* cancel_ = nullptr;
    bool acceptLarge_ = false;
};

} // namespace tavik::app
