#include "server/CAccountCommand.h"

namespace tavik::server {

namespace {

// Names and ids travel in the "|"-separated disk list: a "|" would shift every later field.
bool fitsList(const std::string& text) {
    return text.find('|') == std::string::npos;
}

bool splitIdentifier(const std::string& identifier, AccountConfig& account) {
    const auto canonical = canonicalIdentifier(identifier);
    if (!canonical) {
        return false;
    }
    const size_t at = canonical->rfind('@');
    account.user = canonical->substr(0, at);
    account.domain = canonical->substr(at + 1);
    return !account.user.empty() && !account.domain.empty() && fitsList(account.user);
}

} // namespace

int CAccountCommand::run(const AccountCommandInput& input, std::string& out, std::string& err) {
    if (input.action == "list") {
        return list(out, err);
    }
    AccountConfig parsed;
    if (!splitIdentifier(input.identifier, parsed)) {
        err = "an account is named USER@DOMAIN (without \"|\"): " + input.identifier;
        return 1;
    }
    if (input.action == "add") {
        return add(input, err);
    }
    if (input.action == "remove") {
        return changed(store_.removeAccount(input.identifier), "account " + input.identifier, err);
    }
    if (input.action == "passwd") {
        return passwd(input, err);
    }
    if (input.action == "disk-add") {
        return addDisk(input, err);
    }
    if (input.action == "disk-remove") {
        return changed(store_.removeDisk(input.identifier, input.diskId),
                       "disk " + input.diskId + " of " + input.identifier, err);
    }
    err = "unknown action " + input.action;
    return 1;
}

int CAccountCommand::changed(const StoreResult<bool>& result, const std::string& what,
                             std::string& err) {
    if (!result) {
        err = result.error();
        return 1;
    }
    if (!*result) {
        err = "no " + what;
        return 1;
    }
    return 0;
}

int CAccountCommand::add(const AccountCommandInput& input, std::string& err) {
    AccountConfig account;
    splitIdentifier(input.identifier, account);
    const auto existing = store_.findAccount(account.identifier());
    if (!existing) {
        err = existing.error();
        return 1;
    }
    if (existing->has_value()) {
        err = "account " + account.identifier() + " exists already (passwd changes its password)";
        return 1;
    }
    account.displayName = input.displayName.empty() ? account.user : input.displayName;
    account.userNumber = input.userNumber;
    if (!input.noPassword) {
        const auto hash = askHash_();
        if (!hash) {
            return 1;
        }
        account.passwordHash = *hash;
    }
    const auto done = store_.upsertAccount(account);
    err = done.error();
    return done ? 0 : 1;
}

int CAccountCommand::list(std::string& out, std::string& err) {
    const auto accounts = store_.listAccounts();
    if (!accounts) {
        err = accounts.error();
        return 1;
    }
    for (const AccountConfig& account : *accounts) {
        out += account.identifier() + "\t" + account.displayName + "\t" +
               std::to_string(account.userNumber) + "\t" +
               (account.passwordHash.empty() ? "session keys only" : "password");
        for (const AccountDisk& disk : account.disks) {
            out += "\t" + disk.diskId + " \"" + disk.name + "\" on " + disk.server;
        }
        out += "\n";
    }
    return 0;
}

int CAccountCommand::passwd(const AccountCommandInput& input, std::string& err) {
    const auto existing = store_.findAccount(input.identifier);
    if (!existing || !existing->has_value()) {
        err = existing ? "no account " + input.identifier : existing.error();
        return 1;
    }
    const auto hash = askHash_();
    if (!hash) {
        return 1;
    }
    return changed(store_.setPasswordHash(input.identifier, *hash), "account " + input.identifier,
                   err);
}

int CAccountCommand::addDisk(const AccountCommandInput& input, std::string& err) {
    const AccountDisk disk{input.diskId, input.diskName.empty() ? input.diskId : input.diskName,
                           input.diskServer.empty() ? defaultServer_ : input.diskServer};
    if (disk.diskId.empty() || !fitsList(disk.diskId) || !fitsList(disk.name) ||
        !fitsList(disk.server)) {
        err = "disk ids, names and servers may not be empty or contain \"|\"";
        return 1;
    }
    return changed(store_.putDisk(input.identifier, disk), "account " + input.identifier, err);
}

} // namespace tavik::server
