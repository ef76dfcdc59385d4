// Errors as values inside the library. An internal operation returns a Result<T>: either a value
// or a failure, and in both cases optionally what it leaves in the last-error store (a reply's
// "error"/"errstr" is stored after a success too). Only the export wrapper (ExportCall.h) writes
// the store, so internal code never touches process-wide state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tavik {

// What an operation leaves in the last-error store. A text of nullopt keeps the stored text,
// as the library does for its own failures that name no text.
struct ErrorReport {
    int32_t code = 0;
    std::optional<std::u16string> text;

    static ErrorReport codeOnly(int32_t code) { return {code, std::nullopt}; }
    static ErrorReport withText(int32_t code, std::u16string text) {
        return {code, std::move(text)};
    }
};

// Marker value for operations that succeed without a result.
struct Done {};

template <class T> class Result {
public:
    static Result ok(T value, std::optional<ErrorReport> report = std::nullopt) {
        Result r;
        r.value_ = std::move(value);
        r.report_ = std::move(report);
        return r;
    }
    static Result fail(std::optional<ErrorReport> report) {
        Result r;
        r.report_ = std::move(report);
        return r;
    }
    // Carries another result's failure (and its report) into this type.
    template <class U> static Result failFrom(const Result<U>& other) {
        return fail(other.report());
    }

    bool isOk() const { return value_.has_value(); }
    explicit operator bool() const { return isOk(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    const std::optional<ErrorReport>& report() const { return report_; }

private:
    std::optional<T> value_;
    std::optional<ErrorReport> report_;
};

} // namespace tavik
