#include "sdk/core/CConfigFile.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace tavik {

namespace {

bool isSeparator(char16_t c) {
    return c == u' ' || c == u'=' || c == u'\t';
}

// The token that starts at or after `at` (separators skipped); `at` moves past it.
std::u16string_view nextToken(std::u16string_view line, size_t& at) {
    while (at < line.size() && isSeparator(line[at])) {
        ++at;
    }
    size_t start = at;
    while (at < line.size() && !isSeparator(line[at])) {
        ++at;
    }
    return line.substr(start, at - start);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::string CConfigFile::PathBeside(std::string_view executablePath) {
    size_t cut = executablePath.rfind('/');
    std::string folder(cut == std::string_view::npos ? executablePath
                                                     : executablePath.substr(0, cut));
    return folder + "/" + kFileName;
}

std::string CConfigFile::PathBesideExecutable() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return {};
    }
    return PathBeside(std::string_view(buffer.data(), static_cast<size_t>(length)));
}

bool CConfigFile::Load(const char* path) {
    text_.clear();
    if (path == nullptr) {
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        bytes.append(chunk, got);
        if (bytes.size() > kMaxFileBytes) {
            return false;
        }
    }
    if (std::ferror(file.get())) {
        return false;
    }
    text_ = platform::fromAnsi(bytes);
    return true;
}

std::optional<std::u16string> CConfigFile::Find(std::u16string_view key) const {
    std::u16string_view text(text_);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        std::u16string_view line = text.substr(start, end - start);
        // CR LF is one break; a lone CR or LF is one too (skipping two characters after a lone
        // CR would eat the first character of the next line).
        start =
            end + ((end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ? 2 : 1);
        size_t at = 0;
        if (!line.empty() && nextToken(line, at) == key) {
            return std::u16string(nextToken(line, at));
        }
    }
    return std::nullopt;
}

bool ReadConfigText(const char16_t* key, char16_t* buffer, int capacity, const char* path) {
    if (key == nullptr || buffer == nullptr || capacity < 1) {
        return false;
    }
    CConfigFile file;
    file.Load(path);
    std::optional<std::u16string> value = file.Find(key);
    if (!value) {
        return false;
    }
    size_t count = std::min(value->size(), static_cast<size_t>(capacity - 1));
    value->copy(buffer, count);
    buffer[count] = u'\0';
    return true;
}

bool ReadConfigInt(const char16_t* key, int32_t* value, const char* path) {
    if (key == nullptr || value == nullptr) {
        return false;
    }
    CConfigFile file;
    file.Load(path);
    std::optional<std::u16string> text = file.Find(key);
    if (!text) {
        return false;
    }
    *value = ParseDecimal(*text);
    return true;
}

int32_t ParseDecimal(std::u16string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r'))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        negative = text[at] == u'-';
        ++at;
    }
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        magnitude = std::min<int64_t>(magnitude * 10 + (text[at] - u'0'), int64_t{INT32_MAX} + 1);
    }
    int64_t number = negative ? -magnitude : magnitude;
    return static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
}

} // namespace tavik
