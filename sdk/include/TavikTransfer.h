/** @file
 * Bulk transfers with progress and cancel, and the server services.
 *
 * A transfer makes one request/reply round trip to announce the byte range, then moves the raw
 * bytes over the same connection outside any packet, and ends with one more reply from the
 * server. While the bytes move the caller is told the progress through a window message and/or a
 * callback (the message always first), and may stop it through a cancel flag it owns.
 *
 * Common rules:
 *
 * - The session handle comes first for the transfers and the server copy, last for the other
 *   services. A null session fails with 24002 "invalid session handle"; nothing is sent.
 * - The first round trip follows the common pattern: when the connection is found dead the
 *   session logs in again once and sends the request a second time; a failed reconnect leaves its
 *   own error (21001, 21002 "socket info error" or the login reply's), a failed exchange 21002
 *   "socket error", and a reply's non-zero "error" fails the call with its "error"/"errstr".
 * - Paths in the transfer records (and the texts of TAVIK_COPYHOST) are narrow text in the
 *   system ANSI code page and travel as given; a null one, or one longer than 510 bytes, fails
 *   with 24001 "wrong parameter" before anything is sent or opened. Local paths are device paths
 *   ('\' or '/', under TAVIK_DEVICE_ROOT).
 * - Cancel flags: a 32-bit integer the caller owns and sets to non-zero to stop; it may be set
 *   from any thread (it is read once per round) or from the progress callback. A null pointer
 *   means the transfer cannot be cancelled. A cancelled transfer returns 1 with last error 0;
 *   the caller knows of the cancel from its own flag.
 * - A transfer that ends without its closing reply (cancel, connection error, local file error)
 *   closes the session's connection; the next call on the session logs in again by itself.
 *
 * Threading: a transfer holds the session's lock for its whole data phase, so other calls on the
 * same session wait for it. Notifications run on the calling thread. The command-result registry
 * and the last error are process-wide.
 *
 * Ownership: the caller owns the records, paths and flags it passes; the library reads them
 * during the call only. Command-result texts belong to the library until tavik_CloseCmd. */
#ifndef TAVIK_TRANSFER_H
#define TAVIK_TRANSFER_H

#include "TavikTypes.h"

/** nKind of a progress record. */
enum { TAVIK_KIND_DOWNLOAD = 0, TAVIK_KIND_UPLOAD = 1, TAVIK_KIND_SERVER_COPY = 2 };

/** Answers of a confirm callback (anything else skips the file). */
enum { TAVIK_CONFIRM_OVERWRITE = 1, TAVIK_CONFIRM_RESUME = 2 };

/** Destination size handed to a confirm callback when the destination does not exist. */
#define TAVIK_NO_DESTINATION 0xFFFFFFFFu

typedef struct TAVIK_TRANSFER TAVIK_TRANSFER;
typedef struct TAVIK_PROGRESS TAVIK_PROGRESS;

/** Called after the progress message with the same record; valid for the call only. */
typedef void (*TAVIK_PROGRESS_PROC)(TAVIK_PROGRESS* progress);
/** Called with each block before a download writes it or an upload sends it; it may change the
 * bytes in place (not the count). position is the block's first byte in the file. */
typedef void (*TAVIK_DATA_PROC)(void* buffer, DWORD count, DWORD position, DWORD user);
/** Asked before each file of a recursive transfer. Sizes are TAVIK_NO_DESTINATION when the
 * destination does not exist. Returns TAVIK_CONFIRM_OVERWRITE to transfer the whole file anew,
 * TAVIK_CONFIRM_RESUME to continue from the destination's size, anything else to skip it. */
typedef int (*TAVIK_CONFIRM_PROC)(LPCWSTR source, DWORD sourceSize, LPCWSTR destination,
                                  DWORD destinationSize, DWORD user);

/** One transfer. Zero-fill it, then set what you use. Numbers are 32-bit; paths, the window and
 * the callbacks are pointers of the platform's size. */
struct TAVIK_TRANSFER {
    const char* pszSrcPath; /* download: remote path; upload: local file */
    const char* pszDstPath; /* download: local file; upload: remote path */
    DWORD dwStartPos;       /* first byte */
    DWORD dwEndPos;         /* end of the range (exclusive) */
    BOOL bTrunc;            /* download: create the local file anew; upload: sent as "istrunc" */
    DWORD dwReserved1;      /* leave 0 */
    DWORD dwReserved2;      /* leave 0 */
    HWND hNotifyWnd;        /* receives uNotifyMsg, or null */
    UINT uNotifyMsg;        /* 0 for no message */
    TAVIK_PROGRESS_PROC pfnProgress; /* or null */
    DWORD dwUser;                    /* copied into the progress record and passed to pfnData */
    TAVIK_DATA_PROC pfnData;         /* or null */
};

/** The progress record: built by the library for the duration of the call; the message's lParam
 * and the callback's argument point to it. */
struct TAVIK_PROGRESS {
    TAVIK_SESSION hSession;
    TAVIK_TRANSFER* pTransfer;
    DWORD dwPos;     /* absolute position: dwStartPos plus the bytes moved */
    DWORD dwElapsed; /* milliseconds since the call started */
    DWORD dwError;   /* 0 while running; the final error in the last notice after a failure */
    int nKind;       /* TAVIK_KIND_* */
    DWORD dwUser;    /* the transfer's dwUser (0 for the server copy) */
};

/** A recursive transfer. Each file gets a TAVIK_TRANSFER with these notification fields. */
typedef struct TAVIK_TRANSFER_EX {
    const char* pszSrcPath;        /* DownloadEx: remote; UploadEx: local */
    const char* pszDstPath;        /* the other side */
    TAVIK_CONFIRM_PROC pfnConfirm; /* or null: every file is transferred anew */
    DWORD dwConfirmUser;           /* passed to pfnConfirm */
    HWND hNotifyWnd;
    UINT uNotifyMsg;
    TAVIK_PROGRESS_PROC pfnProgress;
} TAVIK_TRANSFER_EX;

/** Server status. The numbers are the server's; the library does not interpret them. */
typedef struct TAVIK_SERVERINFO {
    int nCurrentNum;
    int nDownNum;
    int nUpNum;
    int nStartTime;
    char szVersion[512]; /* ANSI text */
} TAVIK_SERVERINFO;

/** Disk quota: free bytes are dwBlock * dwFree. */
typedef struct TAVIK_DISKSPACE {
    DWORD dwBlock; /* block size in bytes */
    DWORD dwFree;  /* free blocks */
    DWORD dwTotal; /* all blocks */
} TAVIK_DISKSPACE;

/** The other server and account of a server-to-server copy; only forwarded to the server. */
typedef struct TAVIK_COPYHOST {
    const char* pszIp;
    int nPort;
    const char* pszId;
    const char* pszPass;
} TAVIK_COPYHOST;

TAVIK_EXTERN_C_BEGIN

/* ---- Transfers ---- */

/** Downloads bytes dwStartPos..dwEndPos of the remote file pszSrcPath into the local file
 * pszDstPath, written from dwStartPos on (bTrunc non-zero creates the file anew; zero opens or
 * creates it and keeps the bytes outside the range). Sends "download" with "path", "startpos",
 * "endpos", then receives the bytes in blocks of up to 64 KiB, waiting at most 5 s (or the
 * session's time-out, when shorter) for each before notifying again, then one closing reply.
 * A silent server keeps being notified with the same dwPos until the caller cancels, or, when the
 * session has a time-out, until no byte has arrived for that long: then the transfer fails with
 * 21002 and the text "time-out" and closes the connection.
 * A notice (message, then callback) goes out before every block, once more when the transfer ends
 * without its closing reply (dwError set), and the whole range done notifies once before the
 * closing reply.
 * Returns 1 when the final error is 0 (also after a cancel), else 0; the final error becomes the
 * last error code, the text stays as the first reply left it. Errors: 24001 null transfer (the
 * text stays as it was) or bad path; 24002 null session (checked before the local file is
 * touched); 23002 the local file cannot be opened (nothing sent) or written (connection closed);
 * 21002 a connection error in the data phase (connection closed) or no closing reply; the
 * closing reply's "error" (connection left open). A start at or past the end moves no bytes and
 * reads the closing reply. */
TAVIK_API BOOL tavik_Download(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel);
/** Uploads bytes dwStartPos..dwEndPos of the local file pszSrcPath (which must exist) to the
 * remote pszDstPath. Sends "upload" with "path", "startpos", "endpos", "istrunc" (bTrunc), then
 * sends the bytes (each send waits at most 10 s, or the session's time-out when shorter, for the
 * connection; no room for the time-out in all fails as a download does), notifying after every
 * round; dwPos counts bytes handed to the connection. Then one closing reply, and one more
 * notice after it.
 * Returns and errors as tavik_Download, with 23002 also when the local file cannot be read or
 * ends before dwEndPos (the connection is closed and one notice carries dwError), and 21002
 * without a final notice when the closing reply cannot be received. */
TAVIK_API BOOL tavik_Upload(TAVIK_SESSION session, TAVIK_TRANSFER* transfer, int* cancel);
/** Downloads the remote file or folder pszSrcPath to the local pszDstPath, folders recursively.
 * Asks "getfileinfo" for the path itself; anything but exactly one entry returns 0 (with the
 * listing's error, or 23006 "not exist" when the server listed none or several). A folder: the
 * local folder is created (an existing one is fine), its children are listed and each is
 * downloaded in turn (stopping when the cancel flag is set); a child's failure does not stop the
 * others, and the call returns 1. A child whose listed path is not inside pszSrcPath, or whose
 * rest holds a ".." component, is skipped: nothing is ever written outside pszDstPath. A file:
 * pfnConfirm (when set) decides whether to transfer it anew, resume it from the local file's size
 * or skip it (returns 1); then tavik_Download with bTrunc set unless resuming.
 * A child whose paths grow longer than 510 bytes in ANSI form is skipped (24001). Each file
 * leaves its own last error. */
TAVIK_API BOOL tavik_DownloadEx(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer, int* cancel);
/** Uploads the local file or folder pszSrcPath to the remote pszDstPath, folders recursively
 * ("createdir" for each folder, its failure ignored). A missing source returns 0 with 23006. A
 * folder returns 1 unless its enumeration fails part-way (0 with 23002). A file: the remote size
 * from "getlength" (TAVIK_NO_DESTINATION when that fails) goes to pfnConfirm as in
 * tavik_DownloadEx, then tavik_Upload of the whole file (or of the rest when resuming). A file of 4
 * GiB or more cannot be described by 32-bit positions: 24001. */
TAVIK_API BOOL tavik_UploadEx(TAVIK_SESSION session, TAVIK_TRANSFER_EX* transfer, int* cancel);

/* ---- Server services ---- */

/** Server status ("getserverinfo"). Each number is stored only when the reply carries it;
 * szVersion gets the reply's "Version" ("Unknown" when absent), cut to 511 bytes. A null record
 * fails with 24001. 1 or 0. */
TAVIK_API BOOL tavik_GetServerInfo(TAVIK_SERVERINFO* info, TAVIK_SESSION session);
/** The session user's quota ("getquota" with the user ID as "id"). On success stores block, free
 * and total (0 for each the reply lacks) when diskspace is not null. 1, or 0 with the common errors
 * above or the server's (23004 the quota cannot be read). */
TAVIK_API BOOL tavik_GetDiskSpace(TAVIK_DISKSPACE* diskspace, TAVIK_SESSION session);
/** Asks the server to check a remote file ("checkvirus"); returns its verdict, the reply's
 * "result" (0 when absent), or -1 on failure (24001 for a null or over-long path). */
TAVIK_API int tavik_CheckVirus(LPCWSTR path, TAVIK_SESSION session);
/** Runs a command on the server ("remotecmd" with "getresult" 1) and returns its text output,
 * NUL-terminated, owned by the library until tavik_CloseCmd (also when empty). The text is the
 * reply's "result" up to its first NUL. With "retlen" (which counts the terminator) at most
 * "retlen" minus one bytes are kept, and "retlen" 0 or less gives an empty text; without it the
 * whole item is taken. No "result" gives an empty text; nothing ever reaches past the item, so
 * a wrong "retlen" cannot cost more memory than the reply itself. Null on failure (24001 for a
 * null or over-long command). */
TAVIK_API const char* tavik_OpenCmd(LPCWSTR command, TAVIK_SESSION session);
/** result itself when it is an open command result, else null with 24002 (text unchanged). */
TAVIK_API const char* tavik_GetCmd(const char* result);
/** Frees an open command result: 1, or 0 with 24002 when it is not open (closed twice). */
TAVIK_API BOOL tavik_CloseCmd(const char* result);
/** Changes the server's current folder of this session ("changedir" with "name"). The session's
 * own path is not changed. 1, or 0 with the common errors above (24001 for a null or over-long
 * name) or the server's (23006 no such folder, 23008 not a folder). */
TAVIK_API BOOL tavik_ChangeDir(LPCWSTR name, TAVIK_SESSION session);
/** Makes this session's server copy pszSrcPath to pszDstPath on the server of host, bytes
 * dwStartPos..dwEndPos, bTrunc as "istrunc" ("copyex"). The server then reports each copied
 * position as a raw 4-byte little-endian word (at most 10 s apart); each one notifies (message,
 * then callback; nKind 2, dwUser 0). When a word equals dwEndPos the closing reply is read (its
 * "error" is not used). Cancel: the connection is closed after the next word and 1 is returned.
 * A missing word or closing reply: 21002, connection closed. Null host or transfer (or a null
 * path or address in them): 24001. Returns 1 when the copy ended without error or was cancelled,
 * else 0. The connection's blocking mode is not changed. */
TAVIK_API BOOL tavik_CopyEx(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                            TAVIK_TRANSFER* transfer, int* cancel);

TAVIK_EXTERN_C_END

#endif
