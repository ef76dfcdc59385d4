// One connection to a PostgreSQL server (libpq), shared by the threads of a process: a lease
// holds it for one caller at a time. It connects on first use and again after it broke, so that
// a process outlives a restart of the database without being told: a call while the database is
// away fails with the reason, and the first call after it returns connects anew.
//
// Parameters are passed as text, apart from the SQL, so that nothing a client sends becomes SQL.
// Errors are values; nothing is thrown.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace tavik::server {

// One statement's result (owns it).
class CPgResult {
public:
    CPgResult() = default;
    CPgResult(PGresult* result, std::string error) : result_(result), error_(std::move(error)) {}
    ~CPgResult();
    CPgResult(CPgResult&& other) noexcept;
    CPgResult& operator=(CPgResult&& other) noexcept;
    CPgResult(const CPgResult&) = delete;
    CPgResult& operator=(const CPgResult&) = delete;

    // The statement ran (with or without rows).
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    int rows() const;
    std::string text(int row, int column) const;
    int64_t integer(int row, int column) const;
    bool flag(int row, int column) const { return text(row, column) == "t"; }
    bool isNull(int row, int column) const;

private:
    PGresult* result_ = nullptr;
    std::string error_;
};

class CPgConnection {
public:
    // uri: "postgresql://..." as libpq takes it. Nothing is connected yet.
    explicit CPgConnection(std::string uri) : uri_(std::move(uri)) {}
    ~CPgConnection();
    CPgConnection(const CPgConnection&) = delete;
    CPgConnection& operator=(const CPgConnection&) = delete;

    // The connection for one caller; false (with the reason in error()) when it cannot connect.
    class CLease {
    public:
        explicit CLease(CPgConnection& owner);
        CLease(const CLease&) = delete;
        CLease& operator=(const CLease&) = delete;

        explicit operator bool() const { return error_.empty(); }
        const std::string& error() const { return error_; }
        // Runs one statement with $1, $2, ... as text parameters. A failure that broke the
        // connection drops it (the next lease connects anew).
        CPgResult run(const char* sql, std::initializer_list<std::string_view> params = {});
        // Runs several statements without parameters (the schema's steps).
        CPgResult script(const char* sql);

    private:
        CPgResult finish(PGresult* result);

        std::unique_lock<std::mutex> lock_;
        CPgConnection& owner_;
        std::string error_;
    };

    // Runs body(lease) inside BEGIN ... COMMIT; a body returning false, or any failure, rolls
    // back. False with error when it did not commit.
    template <class Body> bool transact(Body&& body, std::string& error);

private:
    bool connect(std::string& error);
    void drop();

    std::mutex mutex_;
    std::string uri_;
    PGconn* connection_ = nullptr;
};

template <class Body> bool CPgConnection::transact(Body&& body, std::string& error) {
    CLease lease(*this);
    if (!lease) {
        error = lease.error();
        return false;
    }
    CPgResult begin = lease.run("BEGIN");
    if (!begin.ok()) {
        error = begin.error();
        return false;
    }
    if (!body(lease, error)) {
        lease.run("ROLLBACK");
        if (error.empty()) {
            error = "the change was not made";
        }
        return false;
    }
    CPgResult commit = lease.run("COMMIT");
    if (!commit.ok()) {
        error = commit.error();
        return false;
    }
    return true;
}

} // namespace tavik::server
