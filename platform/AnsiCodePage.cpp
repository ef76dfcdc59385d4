#include "platform/AnsiCodePage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace tavik::platform {

namespace {

// iconv_t keeps conversion state and is not thread-safe, so each thread keeps its own pair of
// descriptors, opened on first use: opening one costs more than a whole request/reply round
// trip on loopback.
struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter openConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return Converter(nullptr);
    }
    return Converter(cd);
}

struct ThreadConverters {
    bool toAnsiOpened = false;
    bool fromAnsiOpened = false;
    Converter toAnsi;
    Converter fromAnsi;
};

thread_local ThreadConverters tConverters;

iconv_t toAnsiConverter() {
    if (!tConverters.toAnsiOpened) {
        tConverters.toAnsi = openConverter(ansiCodePageName().c_str(), "UTF-16LE");
        tConverters.toAnsiOpened = true;
    }
    return static_cast<iconv_t>(tConverters.toAnsi.get());
}

iconv_t fromAnsiConverter() {
    if (!tConverters.fromAnsiOpened) {
        tConverters.fromAnsi = openConverter("UTF-16LE", ansiCodePageName().c_str());
        tConverters.fromAnsiOpened = true;
    }
    return static_cast<iconv_t>(tConverters.fromAnsi.get());
}

// Converts one code point (1 or 2 UTF-16 units) to the code page; false when unmappable.
bool convertChar(iconv_t cd, const char16_t* units, size_t count, std::string& out) {
    char in[4];
    std::memcpy(in, units, count * 2);
    char buffer[16];
    char* inPtr = in;
    size_t inLeft = count * 2;
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
        return false;
    }
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return true;
}

// Decodes the one character at the front of the bytes: its length, or 0 when no sequence of up to
// four bytes there is a whole character of the code page.
size_t decodeOneChar(iconv_t cd, const char* at, size_t left, std::u16string& out) {
    for (size_t length = 1; length <= left && length <= 4; ++length) {
        char* inPtr = const_cast<char*>(at);
        size_t inLeft = length;
        char buffer[16];
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
            inLeft != 0 || outPtr == buffer) {
            continue;
        }
        for (char* unit = buffer; unit + 1 < outPtr; unit += 2) {
            char16_t value;
            std::memcpy(&value, unit, 2);
            out.push_back(value);
        }
        return length;
    }
    return 0;
}

} // namespace

const std::string& ansiCodePageName() {
    static const std::string name = [] {
        const char* env = std::getenv("TAVIK_ACP");
        return std::string(env != nullptr && *env != '\0' ? env : "CP949");
    }();
    return name;
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string toAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        char16_t unit = text[i];
        if (unit < 0x80) { // ASCII is the same in every code page we support
            out.push_back(static_cast<char>(unit));
            ++i;
            continue;
        }
        size_t count = 1;
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            count = 2;
        } else if (high || low) {
            out.push_back('?');
            ++i;
            continue;
        }
        iconv_t cd = toAnsiConverter();
        if (cd == nullptr || !convertChar(cd, &text[i], count, out)) {
            out.push_back('?');
        }
        i += count;
    }
    return out;
}

std::u16string fromAnsi(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    // ASCII is the same in every code page we support, and it is most of what crosses the wire.
    if (isAscii(text)) {
        out.assign(text.begin(), text.end());
        return out;
    }
    iconv_t handle = fromAnsiConverter();
    if (handle == nullptr) {
        for (char c : text) {
            auto byte = static_cast<unsigned char>(c);
            out.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : u'\uFFFD');
        }
        return out;
    }
    iconv(handle, nullptr, nullptr, nullptr, nullptr); // a clean shift state for this text
    char* inPtr = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    std::string buffer(4096, '\0');
    while (inLeft > 0) {
        char* callStart = inPtr;
        const size_t callLeft = inLeft;
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t rc = iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft);
        int err = errno;
        if (rc == static_cast<size_t>(-1) && err != E2BIG) {
            // Where iconv stops at a bad sequence cannot be trusted: glibc's UHC converter steps
            // past some unassigned pairs, even up to the end of the input. So this call's bytes
            // are decoded again one character at a time; the first byte that begins no character
            // becomes one replacement character, and the bulk conversion resumes after it.
            inPtr = callStart;
            inLeft = callLeft;
            while (inLeft > 0) {
                size_t length = decodeOneChar(handle, inPtr, inLeft, out);
                if (length == 0) {
                    out.push_back(u'\uFFFD');
                    ++inPtr;
                    --inLeft;
                    break;
                }
                inPtr += length;
                inLeft -= length;
            }
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        size_t produced = static_cast<size_t>(outPtr - buffer.data()) / 2;
        for (size_t k = 0; k < produced; ++k) {
            char16_t unit;
            std::memcpy(&unit, buffer.data() + 2 * k, 2);
            out.push_back(unit);
        }
    }
    return out;
}

} // namespace tavik::platform
