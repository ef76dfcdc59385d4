/** @file
 * Error codes and the last-error functions of TavikSDK.
 *
 * Every export reports failure by its return value and leaves a code and a text behind. Each
 * reply from the server overwrites both ("error" and "errstr"), so a successful call leaves code
 * 0. The store is process-wide: concurrent callers see each other's errors, but any number of
 * threads may set and read it at once without harm. Setting the code never changes the text and
 * setting the text never changes the code.
 *
 * Threading: every function here may be called from any thread at any time.
 *
 * Ownership: texts returned are the library's (see each function); texts passed in are
 * copied. */
#ifndef TAVIK_ERRORS_H
#define TAVIK_ERRORS_H

#include "TavikTypes.h"

enum {
    TAVIK_ERR_UNKNOWN = -1,
    TAVIK_ERR_NONE = 0,
    /* connection and packet level */
    TAVIK_ERR_CONNECT_FAIL = 21001,
    TAVIK_ERR_SOCKET = 21002,
    TAVIK_ERR_WRONG_PACKET = 21003,
    TAVIK_ERR_SERVER_OPERATION = 21004,
    /* transport security (tavik_SetSecurity) */
    TAVIK_ERR_TLS_UNTRUSTED = 21101,
    TAVIK_ERR_TLS_FAILED = 21102,
    /* account and service limits */
    TAVIK_ERR_WRONG_ID = 22001,
    TAVIK_ERR_WRONG_PASSWD = 22002,
    TAVIK_ERR_SESSION_LIMIT = 22004,
    TAVIK_ERR_NO_SHARE_DIRECTORY = 22005,
    TAVIK_ERR_DOWNLOAD_LIMIT = 22006,
    TAVIK_ERR_UPLOAD_LIMIT = 22007,
    /* file operations */
    TAVIK_ERR_REMOTE_FILE = 23001,
    TAVIK_ERR_LOCAL_FILE = 23002,
    TAVIK_ERR_NOT_EMPTY_DIRECTORY = 23003,
    TAVIK_ERR_DISK_INFO = 23004,
    TAVIK_ERR_EXISTS = 23005,
    TAVIK_ERR_NOT_EXIST = 23006,
    TAVIK_ERR_DISK_FULL = 23007,
    TAVIK_ERR_NOT_DIRECTORY = 23008,
    TAVIK_ERR_PERMISSION = 23009,
    /* use of the interface */
    TAVIK_ERR_WRONG_PARAMETER = 24001,
    TAVIK_ERR_INVALID_HANDLE = 24002,
    TAVIK_ERR_NOT_ENOUGH_BUFFER = 24003,
    TAVIK_ERR_NOT_ALLOWED = 24004
};

TAVIK_EXTERN_C_BEGIN

/** The last error code: 0 after a call that succeeded, else a code of the table above (or what
 * tavik_SetLastError stored). Never fails; reading leaves the last error as it is. */
TAVIK_API int tavik_GetLastError(void);
/** Stores code as the last error (the text is kept) and also sets the calling thread's errno to
 * it. Never fails. */
TAVIK_API void tavik_SetLastError(int code);
/** The last error text: the server's "errstr" or the library's own text; never null, owned by
 * the library. Never fails; reading leaves the last error as it is. It stays valid until the text
 * next changes and the same thread calls this again (or the thread ends): another thread's failure
 * never frees it. */
TAVIK_API LPCWSTR tavik_GetLastErrStr(void);
/** Copies text as the last error text (the code is kept). A null text is the caller's error; it is
 * ignored and the last error stays as it was. */
TAVIK_API void tavik_SetLastErrStr(LPCWSTR text);

TAVIK_EXTERN_C_END

#ifdef __cplusplus
/** The fixed text of a code, or the empty string for a code without one; the last error is not
 * read or changed. The buffer belongs to the
 * calling thread and is overwritten by its next call: copy the text at once. Exported under its
 * C++ (decorated) name. */
TAVIK_API LPCWSTR tavik_FormatMessage(int code);
#endif

#endif
