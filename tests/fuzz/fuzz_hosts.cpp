// The hosts-file walk on arbitrary file bytes: whatever the file holds, the walk stays inside
// the text and the numbers it reports stay within the host-number range.
#include "sdk/drive/CHostsFile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using tavik::drive::CHostsFile;
using tavik::drive::HostsScan;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte gives the length of the address in UTF-16 units, taken from the bytes
    // after it; the rest is the file.
    size_t units = size > 0 ? data[0] % 48 : 0;
    size_t addressBytes = size > 0 ? std::min(units * 2, size - 1) : 0;
    std::vector<uint8_t> addressRaw(data + (size > 0 ? 1 : 0),
                                    data + (size > 0 ? 1 : 0) + addressBytes);
    std::u16string address = CHostsFile::decode(addressRaw);
    std::vector<uint8_t> file(data + (size > 0 ? 1 + addressBytes : 0), data + size);

    std::u16string text = CHostsFile::decode(file);
    check(text.size() <= file.size() / 2);

    HostsScan found = CHostsFile::scan(text, address);
    check(found.lastNumber >= 0 && found.lastNumber <= CHostsFile::kMaxHostNumber);
    if (found.matched) {
        check(found.matchedNumber == found.lastNumber);
        check(!address.empty() && text.find(address) != std::u16string::npos);
    }

    // A line the library would append is found again by the next walk.
    if (CHostsFile::isWritableAddress(address) && !found.matched &&
        found.lastNumber < CHostsFile::kMaxHostNumber) {
        std::u16string line = CHostsFile::entryLine(address, found.lastNumber + 1);
        HostsScan again = CHostsFile::scan(line, address);
        check(again.matched && again.matchedNumber == found.lastNumber + 1);
    }
    return 0;
}
