// An upload's file on the disk while it arrives. The bytes go to a hidden name in the target's
// folder (".tavik-<hex>.part"); Commit puts that file in the target's place once the whole file
// is there, so the target holds its old contents or the new ones, never a short or mixed file.
//
// Why not "istrunc": truncating the target first would leave it short when the upload fails or
// is cancelled. The disk server's rename never replaces an existing entry, so Commit moves the
// old file aside to a second hidden name, renames the new one into place and only then deletes
// the old one; when the second rename fails the old file is moved back. A target that is a
// folder is never moved aside. The price: while the upload runs the disk holds both files.
//
// The destructor deletes the hidden file unless it was committed (best effort: after a lost
// connection it may stay, under its hidden name).
// Threads: user-interface thread; the session is the document's and outlives this object.
#pragma once

#include "sdk/include/TavikTypes.h"

#include <QString>

namespace tavik::app {

class CRemoteReplacement {
public:
    // Picks the hidden name in the remote folder; nothing is sent.
    CRemoteReplacement(TAVIK_SESSION session, const QString& folder);
    ~CRemoteReplacement();
    CRemoteReplacement(const CRemoteReplacement&) = delete;
    CRemoteReplacement& operator=(const CRemoteReplacement&) = delete;

    // The hidden file's remote path, for the upload's destination.
    const QString& Path() const { return path_; }

    struct CommitResult {
        bool ok = false;
        QString errorText; // what to show when it failed
    };
    CommitResult Commit(const QString& target);
    // Removes the hidden file now (the destructor does it otherwise).
    void Discard();

private:
    bool Rename(const QString& from, const QString& to) const;

    TAVIK_SESSION session_;
    QString folder_;
    QString path_;
    bool committed_ = false;
    bool discarded_ = false;
};

} // namespace tavik::app
