#include "platform/CShellExecute.h"

#include "platform/CShellProcess.h"
#include "platform/LocalFileSystem.h"
#include "platform/Utf8.h"

#include <cerrno>
#include <string>
#include <vector>

namespace tavik::platform {

namespace {

bool equalsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 0x20 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 0x20 : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool endsWithExe(std::u16string_view file) {
    return file.size() > 4 && equalsAsciiNoCase(file.substr(file.size() - 4), u".exe");
}

bool isDevicePath(std::u16string_view file) {
    return !file.empty() && (file[0] == u'\\' || file[0] == u'/');
}

// Splits parameters at blanks; "double quotes" keep blanks inside one word.
std::vector<std::string> splitParameters(std::u16string_view parameters) {
    std::vector<std::string> words;
    std::u16string word;
    bool quoted = false;
    bool inWord = false;
    for (char16_t c : parameters) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inWord) {
                words.push_back(utf8FromUtf16(word));
                word.clear();
                inWord = false;
            }
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(utf8FromUtf16(word));
    }
    return words;
}

uint32_t codeForStart(int err) {
    if (err == 0) {
        return 0;
    }
    return err == ENOENT || err == ENOTDIR ? CShellExecute::kErrorFileNotFound : kErrorGeneric;
}

} // namespace

uint32_t CShellExecute::execute(std::u16string_view verb, std::u16string_view file,
                                std::u16string_view parameters, std::u16string_view directory,
                                int /*show: no window states on the host*/) {
    if (!verb.empty() && !equalsAsciiNoCase(verb, u"open")) {
        return kErrorNoAssociation;
    }
    if (file.empty()) {
        return kErrorFileNotFound;
    }
    std::string folder = directory.empty() ? std::string() : hostPath(directory);

    std::string name = isDevicePath(file) ? hostPath(file) : utf8FromUtf16(file);
    std::string program = CShellProcess::findProgram(name);
    if (!program.empty() || endsWithExe(file)) {
        if (program.empty()) {
            return kErrorFileNotFound;
        }
        return codeForStart(
            CShellProcess::startDetached(program, splitParameters(parameters), folder));
    }

    std::string opener = CShellProcess::findProgram("xdg-open");
    if (opener.empty()) {
        return kErrorNoAssociation;
    }
    return codeForStart(CShellProcess::startDetached(opener, {name}, folder));
}

} // namespace tavik::platform
