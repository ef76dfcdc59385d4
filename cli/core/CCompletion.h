// What the shell completion scripts offer (they run "tavik __complete WORD..." with the words
// typed so far after "tavik", the last one being the word under the cursor, maybe empty):
// commands, the options of the program and of the command, profile names after -r and as
// "NAME:" before a path, "list"/"show NAME" after config. A path argument with a profile
// (NAME:path, or -r NAME before it) is completed from the remote folder's listing, which needs a
// session: complete() then says which, and the caller lists it. For a local path the scripts use
// the shell's own file completion: the line "__files__" asks for it.
#pragma once

#include "cli/core/CProfile.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavik::cli {

struct Completion {
    std::vector<std::string> candidates; // in order, one a line
    bool files = false;                  // add the shell's file names
    struct Remote {
        std::string profile;
        std::string prefix; // what goes before each remote name in a candidate ("t:" or "")
        std::string typed;  // the path typed after the prefix
    };
    std::optional<Remote> remote;
};

class CCompletion {
public:
    static constexpr const char* kCommand = "__complete";

    static Completion complete(const std::vector<std::string>& words,
                               const std::map<std::string, CProfile>& profiles);
    // The remote candidates: entries of the typed path's folder whose names start as typed;
    // folders end in "/".
    static std::vector<std::string> remoteCandidates(const Completion::Remote& remote,
                                                     const std::vector<std::string>& names,
                                                     const std::vector<bool>& folders);
};

} // namespace tavik::cli
