// The platform's shell execution (ShellExecuteEx) on the host.
//
// Verb "open" (or no verb):
// - a program (a name ending in ".exe", or an executable file found as such or in PATH) is
//   started with the parameters, split at blanks (double quotes group words). Program names are
//   kept as given, so a program of the handheld that the host lacks is simply not found (2).
// - anything else (a document, a folder, a web address) is handed to xdg-open; a device path
//   (beginning with '\' or '/') is placed under the device root first. Without xdg-open: 1155.
// Another verb: 1155 (no association).
//
// The started program runs on its own; the call never waits for it (see CShellProcess). The
// show state is accepted for the call sites and has no effect on the host. The directory, when
// not empty, is a device path the program starts in. Thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavik::platform {

class CShellExecute {
public:
    static constexpr uint32_t kErrorFileNotFound = 2;
    static constexpr uint32_t kErrorNoAssociation = 1155;
    static constexpr int kShowNormal = 5;

    // 0 when the program was started, else the error code above or an errno-derived 31.
    static uint32_t execute(std::u16string_view verb, std::u16string_view file,
                            std::u16string_view parameters, std::u16string_view directory,
                            int show);
};

} // namespace tavik::platform
