// The one wrapper every export goes through: it runs the internal operation, writes what the
// operation reports into the last-error store, and turns the result into the export's return
// value (the value itself, or the export's fixed failure value).
#pragma once

#include "sdk/core/CLastError.h"
#include "sdk/core/Result.h"

#include <utility>

namespace tavik {

template <class T> void reportOnce(const Result<T>& result) {
    if (result.report()) {
        CLastError::instance().apply(*result.report());
    }
}

template <class T, class Operation> T exportCall(T failureValue, Operation&& operation) {
    Result<T> result = std::forward<Operation>(operation)();
    reportOnce(result);
    return result.isOk() ? result.value() : failureValue;
}

// For exports that return nothing.
template <class Operation> void exportCallVoid(Operation&& operation) {
    Result<Done> result = std::forward<Operation>(operation)();
    reportOnce(result);
}

// For boolean exports: 1 on success, 0 on failure.
template <class Operation> int exportCallBool(Operation&& operation) {
    Result<Done> result = std::forward<Operation>(operation)();
    reportOnce(result);
    return result.isOk() ? 1 : 0;
}

} // namespace tavik
