#include "sdk/drive/CHostsFile.h"

#include "platform/CLocalFile.h"
#include "sdk/drive/PlatformVersion.h"

#include <string>

namespace tavik::drive {

using platform::CLocalFile;

namespace {

constexpr size_t kShortestLine = 3;

bool isSeparator(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The first two fields of a line (fewer when the line has fewer).
std::vector<std::u16string_view> leadingFields(std::u16string_view line) {
    std::vector<std::u16string_view> fields;
    size_t pos = 0;
    while (fields.size() < 2) {
        while (pos < line.size() && isSeparator(line[pos])) {
            ++pos;
        }
        if (pos == line.size()) {
            break;
        }
        size_t start = pos;
        while (pos < line.size() && !isSeparator(line[pos])) {
            ++pos;
        }
        fields.push_back(line.substr(start, pos - start));
    }
    return fields;
}

// The host number of a host-name field, or -1 when the field carries none.
int hostNumber(std::u16string_view field) {
    if (field.size() <= CHostsFile::kHostPrefix.size() ||
        field.substr(0, CHostsFile::kHostPrefix.size()) != CHostsFile::kHostPrefix) {
        return -1;
    }
    int number = 0;
    for (char16_t c : field.substr(CHostsFile::kHostPrefix.size())) {
        if (c < u'0' || c > u'9') {
            break;
        }
        if (number > (CHostsFile::kMaxHostNumber - (c - u'0')) / 10) {
            return -1;
        }
        number = number * 10 + (c - u'0');
    }
    return number;
}

std::u16string decimal(int number) {
    std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

std::vector<uint8_t> encode(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

bool readAll(CLocalFile& file, std::vector<uint8_t>& bytes) {
    uint8_t chunk[4096];
    for (;;) {
        int64_t n = file.Read(chunk, sizeof(chunk));
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

} // namespace

std::u16string CHostsFile::decode(const std::vector<uint8_t>& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    if (!text.empty() && text.front() == u'\xFEFF') {
        text.erase(0, 1);
    }
    return text;
}

HostsScan CHostsFile::scan(std::u16string_view text, std::u16string_view address) {
    HostsScan result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lineFeed = text.find(u'\n', pos);
        size_t end = lineFeed == std::u16string_view::npos ? text.size() : lineFeed + 1;
        std::u16string_view line = text.substr(pos, end - pos);
        pos = end;
        if (line.size() < kShortestLine) {
            break;
        }
        std::vector<std::u16string_view> fields = leadingFields(line);
        if (fields.size() < 2 || fields[0].front() == u'#') {
            continue;
        }
        int number = hostNumber(fields[1]);
        if (number < 0) {
            continue;
        }
        result.lastNumber = number;
        if (fields[0] == address) {
            result.matched = true;
            result.matchedNumber = number;
            break;
        }
    }
    return result;
}

std::u16string CHostsFile::entryLine(std::u16string_view address, int number) {
    return std::u16string(address) + u"\t\t" + std::u16string(kHostPrefix) + decimal(number) +
           u"\r\n";
}

bool CHostsFile::isWritableAddress(std::u16string_view address) {
    if (address.empty() || address.front() == u'#') {
        return false;
    }
    for (char16_t c : address) {
        if (isSeparator(c)) {
            return false;
        }
    }
    return true;
}

int CHostsFile::registerHost(std::u16string_view address) {
    if (platformId() != kPlatformWin32Ce || !isWritableAddress(address)) {
        return -1;
    }
    CLocalFile file;
    if (!file.Open(kDevicePath, CLocalFile::Access::ReadWrite,
                   CLocalFile::Disposition::OpenAlways)) {
        return -1;
    }
    std::vector<uint8_t> bytes;
    if (!readAll(file, bytes)) {
        return -1;
    }
    std::u16string text = decode(bytes);
    HostsScan found = scan(text, address);
    if (found.matched) {
        return found.matchedNumber;
    }
    if (found.lastNumber >= kMaxHostNumber) {
        return -1;
    }
    int number = found.lastNumber + 1;
    // A last line without its line break would otherwise run into the new entry and spoil both.
    // A stray odd byte at the end is completed to a character of that last line, so that the
    // new text starts on a UTF-16 unit boundary.
    bool oddLength = bytes.size() % 2 != 0;
    std::u16string addition;
    if (oddLength || (!text.empty() && text.back() != u'\n')) {
        addition = u"\r\n";
    }
    addition += entryLine(address, number);
    std::vector<uint8_t> encoded = encode(addition);
    if (oddLength) {
        encoded.insert(encoded.begin(), 0);
    }
    if (file.Seek(0, CLocalFile::Origin::End) < 0 ||
        file.Write(encoded.data(), encoded.size()) < 0) {
        return -1;
    }
    return number;
}

} // namespace tavik::drive
