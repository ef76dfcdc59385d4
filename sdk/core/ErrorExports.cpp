// The five last-error exports.
#include "sdk/core/CLastError.h"
#include "sdk/include/TavikErrors.h"

using tavik::CLastError;

extern "C" {

TAVIK_API int tavik_GetLastError(void) {
    return CLastError::instance().code();
}

TAVIK_API void tavik_SetLastError(int code) {
    CLastError::instance().setCode(code);
}

TAVIK_API LPCWSTR tavik_GetLastErrStr(void) {
    return CLastError::instance().text();
}

TAVIK_API void tavik_SetLastErrStr(LPCWSTR text) {
    if (text != nullptr) {
        CLastError::instance().setText(text);
    }
}

} // extern "C"

TAVIK_API LPCWSTR tavik_FormatMessage(int code) {
    return CLastError::instance().format(code);
}
