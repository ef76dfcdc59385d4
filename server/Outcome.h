// A value or a protocol error code (the 2xxxx codes that go into a reply's "error"). The server's
// internal operations return it instead of throwing: every failure a client can cause is an
// expected one.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace tavik::server {

template <class T> class Outcome {
public:
    static Outcome ok(T value) {
        Outcome o;
        o.value_ = std::move(value);
        return o;
    }
    static Outcome fail(int32_t error) {
        Outcome o;
        o.error_ = error;
        return o;
    }

    bool isOk() const { return value_.has_value(); }
    explicit operator bool() const { return isOk(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    // The protocol error code of a failure; 0 for a success.
    int32_t error() const { return error_; }

private:
    std::optional<T> value_;
    int32_t error_ = 0;
};

} // namespace tavik::server
