// One remote disk the account may use, as the disk-information query delivers it. The document
// owns the array of these and the session in each; the remote pane shows them by disk name.
#pragma once

#include "sdk/include/TavikTypes.h"

#include <string>

namespace tavik::app {

struct DiskEntry {
    // The reply's "loginid".
    std::u16string loginId;
    // The reply's "diskid": the user argument when a session to the disk is opened.
    std::u16string diskId;
    // Never written; stays empty.
    std::u16string spare;
    // The reply's "diskname": the label in the disk list and the key the view finds the entry by.
    std::u16string diskName;
    // The reply's "serverip": the disk server to connect to.
    std::u16string serverAddress;
    // Null while not connected; the handle from tavik_CreateSession while connected (the owner
    // of the entry destroys it).
    TAVIK_SESSION session = nullptr;
};

} // namespace tavik::app
