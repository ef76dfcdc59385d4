#include "cli/core/CCompletion.h"

#include <algorithm>

namespace tavik::cli {

namespace {

const std::vector<std::string> kCommandNames = {"cat",    "config", "cp",    "df",  "get",
                                                "info",   "ls",     "mkdir", "mv",  "put",
                                                "rename", "rm",     "stat",  "sync"};
const std::vector<std::string> kGlobalOptions = {
    "--bwlimit", "--disk",   "--help",    "--password", "--password-file", "--profile",
    "--quiet",   "--server", "--timeout", "--verbose",  "--version"};

std::vector<std::string> commandOptions(const std::string& command) {
    const std::vector<std::string> transfer = {"--json", "--overwrite", "--parallel", "--resume",
                                               "--skip-existing"};
    if (command == "get" || command == "put") {
        return transfer;
    }
    if (command == "sync") {
        return {"--checksum", "--delete", "--dry-run", "--exclude",
                "--include",  "--json",   "--parallel"};
    }
    if (command == "ls") {
        return {"--json", "--long"};
    }
    if (command == "stat" || command == "df" || command == "info") {
        return {"--json"};
    }
    if (command == "rm") {
        return {"--recursive"};
    }
    if (command == "mkdir") {
        return {"--parents"};
    }
    return {};
}

// Options whose value is the next word.
bool takesValue(const std::string& word, const std::string& command) {
    return word == "-s" || word == "--server" || word == "-d" || word == "--disk" ||
           (word == "-p" && command != "mkdir") || word == "--password" ||
           word == "--password-file" || word == "-t" || word == "--timeout" ||
           (word == "-r" && command != "rm") || word == "--profile" || word == "-P" ||
           word == "--parallel" || word == "--include" || word == "--exclude" ||
           word == "--bwlimit";
}

void addMatching(std::vector<std::string>& out, const std::vector<std::string>& from,
                 const std::string& typed, const std::string& suffix = "") {
    for (const std::string& item : from) {
        if (item.compare(0, typed.size(), typed) == 0) {
            out.push_back(item + suffix);
        }
    }
}

std::vector<std::string> names(const std::map<std::string, CProfile>& profiles) {
    std::vector<std::string> out;
    for (const auto& [name, profile] : profiles) {
        out.push_back(name);
    }
    return out;
}

// Commands whose path arguments are all remote when a profile is in use.
bool allRemote(const std::string& command) {
    return command != "get" && command != "put" && command != "sync" && !command.empty();
}

} // namespace

Completion CCompletion::complete(const std::vector<std::string>& words,
                                 const std::map<std::string, CProfile>& profiles) {
    Completion out;
    const std::string current = words.empty() ? std::string() : words.back();
    std::string command;
    std::string profile;
    std::vector<std::string> positionals;
    bool valueNext = false;
    std::string previous;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        const std::string& word = words[i];
        if (valueNext) {
            if (previous == "-r" || previous == "--profile") {
                profile = word;
            }
            valueNext = false;
        } else if (takesValue(word, command)) {
            valueNext = true;
        } else if (command.empty() && std::find(kCommandNames.begin(), kCommandNames.end(), word) !=
                                          kCommandNames.end()) {
            command = word;
        } else if (!command.empty() && (word.empty() || word[0] != '-')) {
            positionals.push_back(word);
        }
        previous = word;
    }
    if (valueNext) {
        if (previous == "-r" || previous == "--profile") {
            addMatching(out.candidates, names(profiles), current);
        }
        return out; // other values are the user's to type
    }
    if (!current.empty() && current[0] == '-') {
        std::vector<std::string> options = commandOptions(command);
        options.insert(options.end(), kGlobalOptions.begin(), kGlobalOptions.end());
        std::sort(options.begin(), options.end());
        addMatching(out.candidates, options, current);
        return out;
    }
    if (command.empty()) {
        addMatching(out.candidates, kCommandNames, current);
        return out;
    }
    if (command == "config") {
        if (positionals.empty()) {
            addMatching(out.candidates, {"list", "show"}, current);
        } else if (positionals.size() == 1 && positionals[0] == "show") {
            addMatching(out.candidates, names(profiles), current);
        }
        return out;
    }
    if (command == "df" || command == "info") {
        return out;
    }
    // A path: NAME:path, or any path of a remote-only command when -r was given.
    const size_t colon = current.find(':');
    if (colon != std::string::npos && profiles.count(current.substr(0, colon)) > 0) {
        out.remote = Completion::Remote{current.substr(0, colon), current.substr(0, colon + 1),
                                        current.substr(colon + 1)};
        return out;
    }
    if (!profile.empty() && profiles.count(profile) > 0 && allRemote(command)) {
        out.remote = Completion::Remote{profile, "", current};
        return out;
    }
    out.files = true;
    if (colon == std::string::npos) {
        addMatching(out.candidates, names(profiles), current, ":");
    }
    return out;
}

std::vector<std::string> CCompletion::remoteCandidates(const Completion::Remote& remote,
                                                       const std::vector<std::string>& entries,
                                                       const std::vector<bool>& folders) {
    const size_t slash = remote.typed.rfind('/');
    const std::string folderPart =
        slash == std::string::npos ? std::string() : remote.typed.substr(0, slash + 1);
    const std::string start =
        slash == std::string::npos ? remote.typed : remote.typed.substr(slash + 1);
    std::vector<std::string> out;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].compare(0, start.size(), start) == 0) {
            out.push_back(remote.prefix + folderPart + entries[i] + (folders[i] ? "/" : ""));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace tavik::cli
