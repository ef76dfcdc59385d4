// "tavik-server account ...": manages the accounts of the configured store (the embedded state
// database or the shared PostgreSQL store) without editing any file.
//
//   add USER@DOMAIN [--name N] [--number N] [--no-password]   a new account (password asked)
//   list                                                     every account with its disks
//   remove USER@DOMAIN
//   passwd USER@DOMAIN                                       a new password (asked)
//   disk-add USER@DOMAIN DISK [--name N] [--server HOST]     adds, or changes in place
//   disk-remove USER@DOMAIN DISK
//
// Passwords are stored as argon2id hashes; the command is given a function that asks for one.
// Accounts of the configuration file are written into the store again at each server start, so
// their entries in the file win over changes made here. An account made here is never removed by
// a start (the embedded store removes only the file's accounts that the file no longer names).
//
// Exit codes: 0 done, 1 refused (no such account, one that exists already, a bad name, the
// store unavailable).
#pragma once

#include "server/CServiceStore.h"

#include <functional>
#include <optional>
#include <string>

namespace tavik::server {

struct AccountCommandInput {
    std::string action; // add, list, remove, passwd, disk-add, disk-remove
    std::string identifier;
    std::string displayName;
    int64_t userNumber = 0;
    bool noPassword = false;
    std::string diskId;
    std::string diskName;
    std::string diskServer; // empty: the configuration's own address
};

class CAccountCommand {
public:
    // A new password's hash, or nullopt (with the reason already told) when none was given.
    using AskHash = std::function<std::optional<std::string>()>;

    CAccountCommand(CServiceStore& store, std::string defaultServer, AskHash askHash)
        : store_(store), defaultServer_(std::move(defaultServer)), askHash_(std::move(askHash)) {}

    // Runs one action; what it prints goes to out, what went wrong to err.
    int run(const AccountCommandInput& input, std::string& out, std::string& err);

private:
    int add(const AccountCommandInput& input, std::string& err);
    int list(std::string& out, std::string& err);
    int passwd(const AccountCommandInput& input, std::string& err);
    int addDisk(const AccountCommandInput& input, std::string& err);
    // 0 when changed; 1 with "no account/disk ..." in err when changed is false.
    static int changed(const StoreResult<bool>& result, const std::string& what, std::string& err);

    CServiceStore& store_;
    std::string defaultServer_;
    AskHash askHash_;
};

} // namespace tavik::server
