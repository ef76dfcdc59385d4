#include "app/settings/CAccountStore.h"

#include "codec/PasswordScrambler.h"

#include "platform/Utf8.h"

#include <algorithm>

namespace tavik::app {

namespace {

constexpr std::u16string_view kUser = u"user";
constexpr std::u16string_view kServer = u"server";

bool hasKeyBreakingCharacter(std::u16string_view text) {
    return text.find_first_of(u",\\") != std::u16string_view::npos;
}

} // namespace

void CAccountStore::Load(CAccountGlobals& globals) const {
    std::u16string key = profile_.GetString(kUser, u"id", u"");
    globals.autoLogin = profile_.GetInt(kUser, u"Auto", 0) != 0;
    globals.savePassword = profile_.GetInt(kUser, u"PwSave", 1) != 0;
    globals.password.clear();
    if (key.empty()) {
        // No last account: reading its values would read the profile's own key.
        globals.userName.clear();
        globals.domainSuffix = DefaultDomainSuffix();
        return;
    }
    globals.userName = profile_.GetString(key, u"id", u"");
    globals.domainSuffix = profile_.GetString(key, u"sitename", DefaultDomainSuffix());
    if (std::optional<std::vector<uint8_t>> stored = profile_.GetBinary(key, u"password")) {
        globals.password = UnscramblePassword(*stored);
    }
}

SaveResult CAccountStore::Save(const CAccountGlobals& globals) const {
    const std::u16string key = globals.AccountKey();
    bool passwordKept = true;
    if (globals.savePassword) {
        if (hasKeyBreakingCharacter(key)) {
            return SaveResult::InvalidAccountKey;
        }
        std::vector<std::u16string> keys = SplitAccountList(profile_.GetString(kUser, u"ALL", u""));
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(key);
        }
        // A password longer than a stored one holds is neither cut (the cut one would fail the
        // next login) nor left as it was (an older password would be offered): it is emptied.
        const bool fits = globals.password.size() <= kMaxStoredPasswordLength;
        passwordKept = fits;
        bool written = profile_.WriteString(kUser, u"ALL", JoinAccountList(keys)) &&
                       profile_.WriteString(kUser, u"id", key) &&
                       profile_.WriteInt(kUser, u"Auto", globals.autoLogin ? 1 : 0) &&
                       profile_.WriteString(key, u"Id", globals.userName) &&
                       profile_.WriteString(key, u"sitename", globals.domainSuffix) &&
                       profile_.WriteBinary(key, u"password",
                                            fits ? ScramblePassword(globals.password)
                                                 : std::vector<uint8_t>());
        if (!written) {
            return SaveResult::WriteFailed;
        }
    }
    if (!profile_.WriteInt(kUser, u"PwSave", globals.savePassword ? 1 : 0)) {
        return SaveResult::WriteFailed;
    }
    return passwordKept ? SaveResult::Saved : SaveResult::PasswordNotKept;
}

bool CAccountStore::Delete(const CAccountGlobals& globals) const {
    const std::u16string key = globals.AccountKey();
    std::vector<std::u16string> keys = SplitAccountList(profile_.GetString(kUser, u"ALL", u""));
    // Whole items only: a plain text search would also cut "a@x" out of "ba@x".
    std::erase(keys, key);
    std::u16string lastUsed = profile_.GetString(kUser, u"id", u"");
    if (lastUsed == key) {
        lastUsed.clear();
    }
    bool written = profile_.WriteString(kUser, u"ALL", JoinAccountList(keys)) &&
                   profile_.WriteString(kUser, u"id", lastUsed) &&
                   profile_.WriteInt(kUser, u"Auto", globals.autoLogin ? 1 : 0) &&
                   profile_.WriteInt(kUser, u"PwSave", globals.savePassword ? 1 : 0);
    // A key with "\" would name a section other than the account's own.
    if (!written || key.empty() || key.find(u'\\') != std::u16string::npos) {
        return written;
    }
    return profile_.DeleteSection(key);
}

std::vector<SavedAccount> CAccountStore::List() const {
    std::vector<SavedAccount> accounts;
    for (const std::u16string& key : SplitAccountList(profile_.GetString(kUser, u"ALL", u""))) {
        SavedAccount account;
        account.key = key;
        account.userName = profile_.GetString(key, u"id", u"");
        std::u16string suffix = profile_.GetString(key, u"sitename", DefaultDomainSuffix());
        account.domain = suffix.starts_with(u'@') ? suffix.substr(1) : suffix;
        if (std::optional<std::vector<uint8_t>> stored = profile_.GetBinary(key, u"password")) {
            account.password = UnscramblePassword(*stored);
        }
        accounts.push_back(std::move(account));
    }
    return accounts;
}

std::u16string CAccountStore::DownloadPath() const {
    return profile_.GetString(kUser, u"DownPath", kDefaultDownPath);
}

bool CAccountStore::SetDownloadPath(std::u16string_view path) const {
    return profile_.WriteString(kUser, u"DownPath", path);
}

bool CAccountStore::ShowHiddenFiles() const {
    return profile_.GetInt(kUser, u"ShowHidden", 0) != 0;
}

bool CAccountStore::SetShowHiddenFiles(bool shown) const {
    return profile_.WriteInt(kUser, u"ShowHidden", shown ? 1 : 0);
}

HostPort CAccountStore::DiskInfoServer() const {
    const HostPort& builtIn = ProgramConstants().diskInfoServer;
    std::u16string host = profile_.GetString(kServer, u"ip", platform::utf16FromUtf8(builtIn.host));
    uint32_t port = profile_.GetInt(kServer, u"ip", builtIn.port);
    if (port == 0 || port > 65535) {
        port = builtIn.port;
    }
    return HostPort{platform::utf8FromUtf16(host), static_cast<uint16_t>(port)};
}

std::u16string CAccountStore::DefaultDomainSuffix() {
    return u"@" + ProgramConstants().domain;
}

std::vector<std::u16string> CAccountStore::SplitAccountList(std::u16string_view list) {
    std::vector<std::u16string> keys;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(u',', start);
        if (comma == std::u16string_view::npos) {
            comma = list.size();
        }
        if (comma > start) {
            keys.emplace_back(list.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return keys;
}

std::u16string CAccountStore::JoinAccountList(const std::vector<std::u16string>& keys) {
    std::u16string list;
    for (const std::u16string& key : keys) {
        if (!list.empty()) {
            list += u',';
        }
        list += key;
    }
    return list;
}

} // namespace tavik::app
