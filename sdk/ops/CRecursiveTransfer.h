// Whole folders, recursively, on top of the single-file transfers. Each file is asked about
// (confirm callback: anew, resume or skip) and then moved by tavik_Download / tavik_Upload, so
// every file leaves its own last error; a folder's children are handled in turn, a child's
// failure does not stop the others, and the cancel flag stops the walk.
//
// A Result without a report leaves the last error as the inner calls left it.
#pragma once

#include "sdk/core/Result.h"
#include "sdk/include/TavikTransfer.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavik {

class CRecursiveTransfer {
public:
    CRecursiveTransfer(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer, int* cancel);

    Result<Done> Download();
    Result<Done> Upload();

    // The local destination of a listed remote entry: dstPath followed by the part of entryPath
    // behind srcPath (with a '\' between them when neither has one), every '/' turned into '\'.
    // Nullopt when the entry is not inside srcPath or its rest holds a ".." component: the server's
    // names must never lead outside the destination folder.
    static std::optional<std::u16string> childDestination(std::u16string_view srcPath,
                                                          std::u16string_view dstPath,
                                                          std::u16string_view entryPath);

private:
    Result<Done> checkArguments() const;
    Result<Done> downloadFolder(const std::u16string& src, const std::u16string& dst);
    Result<Done> downloadFile(const std::u16string& src, const std::u16string& dst,
                              DWORD sourceSize);
    Result<Done> uploadFolder(const std::u16string& src, const std::u16string& dst);
    Result<Done> uploadFile(const std::u16string& src, const std::u16string& dst,
                            uint64_t sourceSize);
    // Fills a single-file record with this transfer's notification fields; false when the
    // confirm callback skips the file.
    bool prepareFile(TAVIK_TRANSFER& file, const std::u16string& src, DWORD sourceSize,
                     const std::u16string& dst, DWORD destinationSize) const;
    // Runs the export for a child with its own paths.
    void recurse(const std::u16string& childSrc, const std::u16string& childDst, bool download);

    TAVIK_SESSION session_;
    TAVIK_TRANSFER_EX* transfer_;
    int* cancel_;
};

} // namespace tavik
