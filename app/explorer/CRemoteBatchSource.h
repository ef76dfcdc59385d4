// The disk's side of a batch: the entries of a remote folder, through the library's file
// information lists (folders, type 62, then files, type 61; one level each). A failure of either
// list fails the folder with the library's text. An entry whose path does not lie directly in
// the folder keeps its whole path as its name, which the planner then refuses.
// Threads: user-interface thread; the session is the document's and outlives this object.
#pragma once

#include "app/explorer/BatchSource.h"

#include "sdk/include/TavikTypes.h"

namespace tavik::app {

class CRemoteBatchSource : public BatchSource {
public:
    explicit CRemoteBatchSource(TAVIK_SESSION session);

    std::optional<std::vector<BatchSourceEntry>> List(const QString& folder,
                                                      QString& error) override;
    QString Join(const QString& folder, const QString& name) const override;

private:
    bool ListKind(const QString& folder, int infoType, std::vector<BatchSourceEntry>& entries,
                  QString& error);

    TAVIK_SESSION session_;
};

} // namespace tavik::app
