/** @file
 * Files of 4 GiB and more: 64-bit sizes, positions and transfers.
 *
 * Every login offers the server 64-bit sizes and positions; a server that knows them agrees in
 * its login reply, and tavik_IsLargeFileSession tells which. The functions below work on any
 * session: on one that agreed they carry 64-bit values; on one that did not they fall back on the
 * protocol's 32-bit items and refuse (24001 "wrong parameter", nothing sent) what 32 bits cannot
 * describe. The 32-bit functions keep their 32-bit behaviour on every session.
 *
 * Common rules, results and errors are those of the 32-bit functions of the same family
 * (TavikFiles.h, TavikTransfer.h): a null session fails with 24002 "invalid session handle", a
 * server's error becomes the last error, a failed exchange gives 21002 "socket error". Functions
 * returning a 64-bit value return -1 on failure.
 *
 * Threading: as for the 32-bit functions (TavikFiles.h).
 *
 * Ownership: the caller owns every record it passes; the library keeps none after a call returns.
 */
#ifndef TAVIK_LARGE_FILES_H
#define TAVIK_LARGE_FILES_H

#include "TavikFiles.h"
#include "TavikTransfer.h"

typedef struct TAVIK_TRANSFER64 TAVIK_TRANSFER64;
typedef struct TAVIK_PROGRESS64 TAVIK_PROGRESS64;

/* Called after the progress message with the same record; valid for the call only. */
typedef void (*TAVIK_PROGRESS64_PROC)(TAVIK_PROGRESS64* progress);
/* As TAVIK_DATA_PROC, with the block's 64-bit position. */
typedef void (*TAVIK_DATA64_PROC)(void* buffer, DWORD count, uint64_t position, DWORD user);

/* One transfer with 64-bit positions; otherwise as TAVIK_TRANSFER. Zero-fill it first. */
struct TAVIK_TRANSFER64 {
    const char* pszSrcPath; /* download: remote path; upload: local file */
    const char* pszDstPath; /* download: local file; upload: remote path */
    uint64_t qwStartPos;    /* first byte */
    uint64_t qwEndPos;      /* end of the range (exclusive) */
    BOOL bTrunc;            /* download: create the local file anew; upload: sent as "istrunc" */
    HWND hNotifyWnd;        /* receives uNotifyMsg (lParam: the TAVIK_PROGRESS64), or null */
    UINT uNotifyMsg;        /* 0 for no message */
    TAVIK_PROGRESS64_PROC pfnProgress; /* or null */
    DWORD dwUser;                      /* copied into the progress record, passed to pfnData */
    TAVIK_DATA64_PROC pfnData;         /* or null */
};

/* The progress record of a 64-bit transfer. */
struct TAVIK_PROGRESS64 {
    TAVIK_SESSION hSession;
    TAVIK_TRANSFER64* pTransfer;
    uint64_t qwPos;  /* absolute position: qwStartPos plus the bytes moved */
    DWORD dwElapsed; /* milliseconds since the call started */
    DWORD dwError;   /* 0 while running; the final error in the last notice after a failure */
    int nKind;       /* TAVIK_KIND_* */
    DWORD dwUser;    /* the transfer's dwUser (0 for the server copy) */
};

/* A disk's space in bytes. */
typedef struct TAVIK_DISKSPACE64 {
    uint64_t qwFree;
    uint64_t qwTotal;
} TAVIK_DISKSPACE64;

TAVIK_EXTERN_C_BEGIN

/** 1 when the session's last login agreed on 64-bit sizes and positions, else 0 (also for a null
 * session, with 24002). The last error is not touched otherwise. */
TAVIK_API BOOL tavik_IsLargeFileSession(TAVIK_SESSION session);
/** The remote file's size ("getlength"): the 64-bit size when agreed, else the 32-bit "size" read
 * as unsigned (0xFFFFFFFF may then stand for any size of 4 GiB - 1 or more). -1 on failure, with
 * the reply's error (23006 for a path that does not exist) or 24002 for a null session. */
TAVIK_API int64_t tavik_GetFileSize64(LPCWSTR path, TAVIK_SESSION session);
/** Moves an open remote file's position ("seekfile"); returns the new position, or -1 with the
 * last error set (24002 for a file that is not open). Without agreement the offset must fit 32
 * bits (else 24001, nothing sent). */
TAVIK_API int64_t tavik_FileSeek64(TAVIK_FILE* file, int64_t offset, int whence);
/** The session user's free and total bytes ("getquota"): the server's exact byte counts when
 * agreed, else block x free and block x total counted in 64 bits. 1, or 0 with the last error set
 * (24002 for a null session); a null record only asks. */
TAVIK_API BOOL tavik_GetDiskSpace64(TAVIK_DISKSPACE64* space, TAVIK_SESSION session);
/** The size of entry index of a file-information list: its 64-bit size when the server sent one,
 * else its dwSize. -1 when the index is outside the list (last error untouched) or the list is
 * not open (24002). */
TAVIK_API int64_t tavik_GetFileInfoSize64(TAVIK_FILEINFO_LIST* list, int index);
/** tavik_Download with 64-bit positions and a TAVIK_PROGRESS64 record; the same rules, returns
 * and errors, and 24001 when the range ends past 0xFFFFFFFF on a session that did not agree. */
TAVIK_API BOOL tavik_Download64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel);
/** tavik_Upload with 64-bit positions and a TAVIK_PROGRESS64 record; the same rules, returns and
 * errors, and 24001 when the range ends past 0xFFFFFFFF on a session that did not agree. */
TAVIK_API BOOL tavik_Upload64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer, int* cancel);
/** tavik_Upload64 whose finished file the server moves into place within the same request. On a
 * session whose server agreed at login to commit uploads, the request also names finalPath (ANSI,
 * like the record's paths), modifiedTime (seconds since 1970; 0 leaves the time the writing gave)
 * and replace (non-zero: a file already at finalPath is replaced; zero: the commit fails with
 * 23005 and the upload stays under pszDstPath); once every byte of the range has arrived the
 * server sets the time and renames pszDstPath to finalPath, and *committed becomes 1. Otherwise
 * (a server that did not agree, a cut or failed transfer) *committed is 0 and the file is where
 * tavik_Upload64 would have left it, for the caller to finish with tavik_SetFileTime and
 * tavik_RenameFile. committed may be null; a null finalPath fails with 24001, nothing sent. The
 * rules, returns and errors are otherwise tavik_Upload64's; a commit that failed after the bytes
 * arrived is the final error. */
TAVIK_API BOOL tavik_UploadCommit64(TAVIK_SESSION session, TAVIK_TRANSFER64* transfer,
                                    const char* finalPath, DWORD modifiedTime, BOOL replace,
                                    BOOL* committed, int* cancel);
/** tavik_CopyEx with 64-bit positions: on a session that agreed, the range also travels in 64 bits
 * and the server's position words are 8 bytes long; notices carry a TAVIK_PROGRESS64 (nKind 2,
 * dwUser 0). Otherwise the same rules, returns and errors, and 24001 for a range ending past
 * 0xFFFFFFFF on a session that did not agree. */
TAVIK_API BOOL tavik_CopyEx64(TAVIK_SESSION session, const TAVIK_COPYHOST* host,
                              TAVIK_TRANSFER64* transfer, int* cancel);

TAVIK_EXTERN_C_END

#endif
