// A download's file on the device while it arrives: an empty hidden file (".tavik-<hex>.part")
// made beside the destination, which the transfer fills and Commit puts in the destination's
// place in one step once the whole file is there. Until then the destination keeps its old
// contents, and a transfer that fails or is cancelled never leaves a short or mixed file under
// the real name: the destructor removes the hidden file unless it was committed.
// Threads: one thread at a time.
#pragma once

#include <QString>

#include <cstdint>

namespace tavik::app {

class CLocalReplacement {
public:
    // Makes the hidden file in the device folder; Ready() tells whether that worked.
    explicit CLocalReplacement(const QString& folder);
    ~CLocalReplacement();
    CLocalReplacement(const CLocalReplacement&) = delete;
    CLocalReplacement& operator=(const CLocalReplacement&) = delete;

    bool Ready() const { return !path_.isEmpty(); }
    // The hidden file's device path (empty when not Ready).
    const QString& Path() const { return path_; }
    // Moves the hidden file over the destination: the platform's error code (0 on success). On
    // failure the destination is as it was and the hidden file goes with this object.
    uint32_t Commit(const QString& destination);
    // Removes the hidden file now (the destructor does it otherwise).
    void Discard();

private:
    QString path_;
    bool committed_ = false;
};

} // namespace tavik::app
