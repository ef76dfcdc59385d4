// The name of one field of one entry in a listing reply: the field's letter followed by the
// entry's 1-based number, as in "p1" or "s25". Built on the stack, since a listing names tens of
// thousands of items; shared by the library and the reference server.
#pragma once

#include <charconv>
#include <cstdint>

namespace tavik {

class CFileInfoItemName {
public:
    CFileInfoItemName(char letter, int32_t number) {
        text_[0] = letter;
        // An int32_t takes 11 characters at most, so the terminator always fits.
        *std::to_chars(text_ + 1, text_ + sizeof text_ - 1, number).ptr = '\0';
    }

    const char* c_str() const { return text_; }

private:
    char text_[16];
};

} // namespace tavik
