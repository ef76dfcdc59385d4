// A value from the service store, or why there is none. A store that cannot be reached (its
// server down, the network cut) is an expected failure: the caller answers its client as the
// protocol allows, logs the reason and goes on; nothing is thrown.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tavik::server {

template <class T> class StoreResult {
public:
    static StoreResult ok(T value) {
        StoreResult result;
        result.value_ = std::move(value);
        return result;
    }
    static StoreResult fail(std::string error) {
        StoreResult result;
        result.error_ = std::move(error);
        return result;
    }

    explicit operator bool() const { return value_.has_value(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Why the store did not answer; empty on success.
    const std::string& error() const { return error_; }

private:
    std::optional<T> value_;
    std::string error_;
};

} // namespace tavik::server
