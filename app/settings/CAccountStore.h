// The account and settings store over the program's profile (CProfile):
//   user\ALL       saved account keys joined by ","      (default empty)
//   user\id        key of the last account used           (default empty)
//   user\Auto      automatic login 1/0                    (default 0)
//   user\PwSave    save the password 1/0                  (default 1)
//   user\DownPath  download folder                        (default kDefaultDownPath)
//   <key>\Id, <key>\sitename ("@" + domain), <key>\password (scrambled, 2 bytes a character)
//   server\ip      disk-information server host (text) or port (number)
// An account key is user name + "@" + domain.
//
// Threads: user-interface thread (like the account globals it reads and fills).
#pragma once

#include "app/settings/CAccountGlobals.h"
#include "app/settings/CProfile.h"
#include "app/settings/ProgramConstants.h"

#include <string>
#include <vector>

namespace tavik::app {

inline constexpr size_t kMaxStoredPasswordLength = 80;
inline constexpr std::u16string_view kDefaultDownPath = u"\\Program Files\\Brelo\\tavik\\Download";

// One saved account as the login dialog lists it.
struct SavedAccount {
    std::u16string key;
    std::u16string userName;
    std::u16string domain; // without "@"
    std::u16string password;
    bool operator==(const SavedAccount&) const = default;
};

enum class SaveResult {
    Saved,
    // The password is longer than a stored password holds: everything else was saved (ALL, id,
    // Auto, the section's Id and sitename, PwSave) and the section's password was emptied, so
    // that no earlier password is offered for the account. The user should be told.
    PasswordNotKept,
    // The user name or domain holds "," or "\", which would break the account list or the
    // section name; nothing at all was written.
    InvalidAccountKey,
    // The registry refused a write (what was written before it stays).
    WriteFailed,
};

class CAccountStore {
public:
    // Start-up without launch parameters: fills user name, domain suffix, password and the
    // flags automatic login and save password from the registry (defaults when absent).
    void Load(CAccountGlobals& globals) const;
    // After a successful login. With save password set, records the account in ALL and its
    // section and makes it the last used; always writes PwSave. A password over
    // kMaxStoredPasswordLength characters is not kept (PasswordNotKept).
    SaveResult Save(const CAccountGlobals& globals) const;
    // Login with "delete account information": removes the account from ALL (and from id when
    // it is the last used), writes ALL, id, Auto, PwSave, and deletes the account's section.
    // False when the registry refused a write.
    bool Delete(const CAccountGlobals& globals) const;
    // The saved accounts in the order of ALL.
    std::vector<SavedAccount> List() const;

    std::u16string DownloadPath() const;
    bool SetDownloadPath(std::u16string_view path) const;
    // Whether My Device lists dot files (user\ShowHidden, 0 or 1; hidden by default).
    bool ShowHiddenFiles() const;
    bool SetShowHiddenFiles(bool shown) const;
    // server\ip as host (text) and port (number), each with its built-in default.
    HostPort DiskInfoServer() const;

    // The default domain suffix: "@" + the service's own domain.
    static std::u16string DefaultDomainSuffix();
    // ALL split at "," (empty items dropped) and joined back.
    static std::vector<std::u16string> SplitAccountList(std::u16string_view list);
    static std::u16string JoinAccountList(const std::vector<std::u16string>& keys);

private:
    CProfile profile_;
};

} // namespace tavik::app
