// Opening the SQLite state database that the session keys and the accounts of the embedded store
// share. It holds hashes only, but nobody else needs to read it: a new file is made mode 0600.
// A running server and the administration commands write the same file, so each connection waits
// up to 5 s for the others' locks. Thread-safe (touches nothing shared).
#pragma once

#include <filesystem>
#include <string>

struct sqlite3;

namespace tavik::server {

class CSqliteFile {
public:
    // The open connection (serialised mode), which the caller closes with sqlite3_close; ":memory:"
    // makes a private database. nullptr with error naming the file when it cannot be opened.
    static sqlite3* open(const std::filesystem::path& file, std::string& error);
};

} // namespace tavik::server
