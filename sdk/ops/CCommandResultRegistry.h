// The live command-result texts of tavik_OpenCmd, owned here until tavik_CloseCmd. A pointer is
// a valid result if and only if it is registered. The table has its own lock, so results opened
// and closed on different threads cannot corrupt it; a result must still not be read by one
// thread while another closes it.
#pragma once

#include "sdk/ops/CHandleRegistry.h"

#include <memory>
#include <string>

namespace tavik {

class CCommandResultRegistry {
public:
    static CCommandResultRegistry& instance();

    // Takes the text and returns the pointer handed to the caller (NUL-terminated).
    const char* add(std::string text);
    // The pointer itself when registered, else null.
    const char* find(const char* result) const;
    // Frees a registered result; false when it is not registered.
    bool close(const char* result);

private:
    CHandleRegistry<std::string> results_;
};

} // namespace tavik
