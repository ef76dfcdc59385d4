#include "cli/core/CErrorReport.h"

#include <array>
#include <utility>

namespace tavik::cli {

namespace {

// Said of the thing named in the context ("remote file /a: does not exist").
constexpr std::array<std::pair<int, std::string_view>, 22> kWords = {{
    {21001, "cannot connect to the server"},
    {21002, "the connection to the server failed"},
    {21003, "the server sent something this client cannot read"},
    {21004, "the server could not do it"},
    {22001, "the server has no disk of that ID"},
    {22002, "wrong password"},
    {22004, "the server has no room for another session"},
    {22005, "the disk has no shared folder"},
    {22006, "the disk's download limit is reached"},
    {22007, "the disk's upload limit is reached"},
    {23001, "the server could not read or write the file"},
    {23002, "the local file could not be read or written"},
    {23003, "the folder is not empty (-r deletes it with everything in it)"},
    {23004, "the server could not read the disk's information"},
    {23005, "already exists"},
    {23006, "does not exist"},
    {23007, "the disk is full"},
    {23008, "is not a folder"},
    {23009, "the server does not allow it"},
    {24001, "a wrong parameter"},
    {24002, "the session is gone"},
    {24004, "not allowed"},
}};

} // namespace

std::string_view CErrorReport::plainWords(int code) {
    for (const auto& [known, words] : kWords) {
        if (known == code) {
            return words;
        }
    }
    return {};
}

std::string CErrorReport::compose(std::string_view context, int code, std::string_view libraryText,
                                  std::string_view serverText) {
    std::string out = "tavik: ";
    if (!context.empty()) {
        out += context;
        out += ": ";
    }
    const std::string_view words = plainWords(code);
    if (!words.empty()) {
        out += words;
        out += " (" + std::to_string(code) + ")";
    } else if (libraryText.empty()) {
        out += "error " + std::to_string(code);
    } else {
        out += libraryText;
        out += " (" + std::to_string(code) + ")";
    }
    const bool padsLibraryText =
        !libraryText.empty() && serverText.substr(0, libraryText.size()) == libraryText;
    if (!serverText.empty() && !padsLibraryText) {
        out += ": ";
        out += serverText;
    }
    return out;
}

} // namespace tavik::cli
