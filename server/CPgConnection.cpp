#include "server/CPgConnection.h"

#include <libpq-fe.h>

#include <utility>
#include <vector>

namespace tavik::server {

namespace {

// libpq's messages end with a newline (and sometimes hold more lines): one line for the log.
std::string oneLine(const char* message) {
    std::string text = message != nullptr ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n') {
            c = ' ';
        }
    }
    return text.empty() ? "database error" : text;
}

} // namespace

CPgResult::~CPgResult() {
    PQclear(result_);
}

CPgResult::CPgResult(CPgResult&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)), error_(std::move(other.error_)) {}

CPgResult& CPgResult::operator=(CPgResult&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = std::exchange(other.result_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

int CPgResult::rows() const {
    return result_ != nullptr ? PQntuples(result_) : 0;
}

std::string CPgResult::text(int row, int column) const {
    if (result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_)) {
        return {};
    }
    return std::string(PQgetvalue(result_, row, column),
                       static_cast<size_t>(PQgetlength(result_, row, column)));
}

bool CPgResult::isNull(int row, int column) const {
    return result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_) ||
           PQgetisnull(result_, row, column) == 1;
}

int64_t CPgResult::integer(int row, int column) const {
    const std::string value = text(row, column);
    return value.empty() ? 0 : std::stoll(value);
}

CPgConnection::~CPgConnection() {
    drop();
}

bool CPgConnection::connect(std::string& error) {
    if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) {
        return true;
    }
    drop();
    // The URI first, then a bound on the connect: a store that does not answer fails a login in
    // seconds rather than holding it.
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {uri_.c_str(), "3", "tavik-server", nullptr};
    connection_ = PQconnectdbParams(keys, values, 1);
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
        error = "cannot reach the store: " +
                oneLine(connection_ != nullptr ? PQerrorMessage(connection_) : "out of memory");
        drop();
        return false;
    }
    // Notices (a table that already exists, ...) are not for the log.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    return true;
}

void CPgConnection::drop() {
    if (connection_ != nullptr) {
        PQfinish(connection_);
        connection_ = nullptr;
    }
}

CPgConnection::CLease::CLease(CPgConnection& owner) : lock_(owner.mutex_), owner_(owner) {
    owner_.connect(error_);
}

CPgResult CPgConnection::CLease::run(const char* sql,
                                     std::initializer_list<std::string_view> params) {
    if (!error_.empty() || owner_.connection_ == nullptr) {
        return CPgResult(nullptr, error_.empty() ? "not connected to the store" : error_);
    }
    std::vector<std::string> copies(params.begin(), params.end()); // NUL-terminated
    std::vector<const char*> values;
    for (const std::string& copy : copies) {
        values.push_back(copy.c_str());
    }
    return finish(PQexecParams(owner_.connection_, sql, static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
}

CPgResult CPgConnection::CLease::script(const char* sql) {
    if (!error_.empty() || owner_.connection_ == nullptr) {
        return CPgResult(nullptr, error_.empty() ? "not connected to the store" : error_);
    }
    return finish(PQexec(owner_.connection_, sql));
}

CPgResult CPgConnection::CLease::finish(PGresult* result) {
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        return CPgResult(result, "");
    }
    std::string message = oneLine(PQerrorMessage(owner_.connection_));
    if (PQstatus(owner_.connection_) != CONNECTION_OK) {
        owner_.drop();
        error_ = "lost the store: " + message;
        message = error_;
    }
    return CPgResult(result, message);
}

} // namespace tavik::server
