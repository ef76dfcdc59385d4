// The device's hosts file "\Windows\lmhosts" (under the device root): UTF-16LE lines of an
// address and a host name. The library gives each disk server a host name "tavik" + N.
//
// The walk over the file stops at the first line shorter than 3 characters (its line break
// included), such as a blank line, or at the end of the text. Fields are separated by spaces,
// tabs, CR and LF; a line whose first field begins with "#" is a comment. A line whose second
// field is "tavik" followed by more characters carries a host number: the decimal digits after
// "tavik" (none read as 0). Lines and fields of any length are examined whole, so a long line
// is neither cut nor misread. A number above kMaxHostNumber makes the line no entry: it is
// neither matched nor counted (so no number overflows).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::drive {

// What the walk found.
struct HostsScan {
    bool matched = false;  // a line maps the address to a host number
    int matchedNumber = 0; // that line's number
    int lastNumber = 0;    // the last host number seen before the walk ended (0: none)
};

class CHostsFile {
public:
    static constexpr std::u16string_view kDevicePath = u"\\Windows\\lmhosts";
    static constexpr std::u16string_view kHostPrefix = u"tavik";
    static constexpr int kMaxHostNumber = 999999999;

    // The file's bytes as text: UTF-16LE, a leading byte-order mark dropped, an odd last byte
    // ignored.
    static std::u16string decode(const std::vector<uint8_t>& bytes);
    // Walks the text looking for address (compared exactly).
    static HostsScan scan(std::u16string_view text, std::u16string_view address);
    // The line that maps address to "tavik" + number, with its CR LF.
    static std::u16string entryLine(std::u16string_view address, int number);
    // Whether an address may be written as a line's first field: not empty, no blank or line
    // break, not beginning with "#". Anything else would corrupt the file or never be found.
    static bool isWritableAddress(std::u16string_view address);

    // Finds the host number of address in the hosts file, or appends a line giving it the
    // last number + 1 (1 when none). Returns the number (0 when the matching line has no
    // digits), or -1 when the platform is not the handheld's, the address cannot be written,
    // the last number is already kMaxHostNumber, or the file cannot be opened, read or
    // appended to. The file is created when missing;
    // its folder is not. Not for concurrent use on the same file.
    static int registerHost(std::u16string_view address);
};

} // namespace tavik::drive
