/** @file
 * File information, directory listing, remote file I/O and namespace operations.
 *
 * Every function here that takes a session sends one request to the disk server and reads one
 * reply. The common rules:
 *
 * - The session handle comes last. A null session fails with 24002 "invalid session handle";
 *   nothing is sent. Any other handle is only passed on, never checked against the live sessions.
 * - A file, directory or list handle that is not open (never returned, or already closed) fails
 *   with 24002 and the last error text as it was; nothing is sent.
 * - Text arguments are UTF-16 and travel in the system ANSI code page. A null text, or one whose
 *   ANSI form is longer than 510 bytes, fails with 24001 "wrong parameter" before anything is
 *   sent (after the handle and session checks above).
 * - When the connection is found dead, the session connects and logs in again once and sends the
 *   request a second time. If that reconnect fails the function fails with the reconnect's error:
 *   21001 "connect fail..", 21002 "socket info error", or the login reply's error. If the
 *   exchange still fails: 21002 "socket error".
 * - Every reply overwrites the last error with its "error" code and "errstr" text, so a
 *   successful call leaves code 0. A non-zero "error" makes the call fail; nothing is returned
 *   or written to the caller's out arguments then.
 * - Failure values: 0 for the BOOL functions, -1 for the int functions, null for the functions
 *   that return a handle or a pointer.
 *
 * Threading: calls on one session from several threads are serialised per round trip. The last
 * error is process-wide. Opening and closing handles from several threads is safe for the handle
 * tables themselves, but a handle must not be used by one thread while another closes it.
 *
 * Ownership: the caller owns every buffer and text it passes in. The library owns the handles it
 * returns until the matching close call, and the texts inside a file-information list until the
 * list is closed. Closing or destroying a session frees none of them. */
#ifndef TAVIK_FILES_H
#define TAVIK_FILES_H

#include "TavikTypes.h"

/** Bits of the info type of tavik_OpenFileInfo. The first two choose what the server lists; the
 * others choose which fields it returns. */
enum {
    TAVIK_INFO_FILES = 1,
    TAVIK_INFO_FOLDERS = 2,
    TAVIK_INFO_PATH = 4,
    TAVIK_INFO_SIZE = 8,
    TAVIK_INFO_TYPE = 16,
    TAVIK_INFO_DATE = 32
};

/** dwType of a folder. */
#define TAVIK_TYPE_FOLDER 1

/** One entry of a file-information list. A field that was not asked for, or that the reply did not
 * carry, is null (texts) or 0 (numbers). The texts belong to the list. */
typedef struct TAVIK_FILEINFO {
    LPCWSTR pszName; /* full remote path, "/" as separator */
    DWORD dwSize;    /* bytes */
    DWORD dwType;    /* TAVIK_TYPE_FOLDER for a folder */
    LPCWSTR pszDate; /* date and time as display text, formatted by the server */
} TAVIK_FILEINFO;

/** The list that tavik_OpenFileInfo returns: read-only for the caller. */
typedef struct TAVIK_FILEINFO_LIST {
    int nCount;
    TAVIK_FILEINFO* pInfo;
} TAVIK_FILEINFO_LIST;

/** An open remote file: the server's file number (-1 when the open reply carried none) and the
 * session it was opened on. Read-only for the caller. */
typedef struct TAVIK_FILE {
    int nFd;
    TAVIK_SESSION hSession;
} TAVIK_FILE;

/** An open server-side directory cursor: the server's number and its session. Read-only. */
typedef struct TAVIK_DIR {
    int nDir;
    TAVIK_SESSION hSession;
} TAVIK_DIR;

TAVIK_EXTERN_C_BEGIN

/* ---- File information and listing ---- */

/** Asks for the entries at path ("getfileinfo"). infotype is a set of TAVIK_INFO_* bits;
 * recursivelevel 0 asks for the path itself, 1 for its direct children (with folders listed, the
 * queried folder comes back among them); both go to the server as given. On success *count (when
 * count is not null) receives the reply's entry count "num" and the new list is returned; on
 * failure *count is left alone and null is returned. A count-only reply (recursivelevel -1, or no
 * field bits) gives its count with no records. Records exist only for the entries the reply
 * carries: the list's nCount is their number, and tavik_ReadFileInfo returns null beyond them.
 * Close the list with tavik_CloseFileInfo, even when empty. Errors: the
 * common ones above, and the server's (23006 the path does not exist). */
TAVIK_API TAVIK_FILEINFO_LIST* tavik_OpenFileInfo(LPCWSTR path, int infotype, int recursivelevel,
                                                  int* count, TAVIK_SESSION session);
/** Entry index (0-based) of an open list, valid until the list is closed. No round trip. An index
 * outside the records held (0..nCount-1) returns null and leaves the last error alone; a list that
 * is not open returns null with 24002. */
TAVIK_API TAVIK_FILEINFO* tavik_ReadFileInfo(TAVIK_FILEINFO_LIST* list, int index);
/** Frees the list, its entries and their texts. 1, or 0 with 24002 when the list is not open. */
TAVIK_API BOOL tavik_CloseFileInfo(TAVIK_FILEINFO_LIST* list);

/** The size of a remote file ("getlength"): the reply's "size" (0 when absent), or -1 with the
 * common errors above or the server's (23006 the file does not exist). */
TAVIK_API int tavik_GetFileSize(LPCWSTR path, TAVIK_SESSION session);
/** Stores the reply's "lastaccesstime" and "lastwritetime" into the two words (a null pointer, or
 * an item the reply lacks, leaves its word alone). The unit is the server's. 1, or 0 with the
 * common errors above or the server's (23006 the path does not exist). */
TAVIK_API BOOL tavik_GetFileTime(LPCWSTR path, DWORD* lastaccess, DWORD* lastwrite,
                                 TAVIK_SESSION session);
/** Sends both times unchanged ("setfiletime"). 1, or 0 with the common errors above or the
 * server's (23006 the path does not exist, 23009 not permitted). */
TAVIK_API BOOL tavik_SetFileTime(LPCWSTR path, DWORD lastaccess, DWORD lastwrite,
                                 TAVIK_SESSION session);

/* ---- Server-side directory cursor ---- */

/** Opens a cursor on a remote folder ("opendir"). Returns the new handle, or null; a reply with
 * error 0 but no (or a zero) "hdir" also gives null, with the last error 0. */
TAVIK_API TAVIK_DIR* tavik_OpenDir(LPCWSTR path, TAVIK_SESSION session);
/** Reads the next entry name ("readdir") on the cursor's session into buffer; capacity counts
 * UTF-16 units including the terminator. Returns 1 with the name and its terminator; an empty
 * name means the server sent none (one end of listing; the other is a server error). When the
 * name does not fit: 0 with 24003 (the text as the reply left it) and the buffer untouched; the
 * name is lost. A null buffer with a positive capacity, or a negative capacity: 24001, nothing
 * sent. */
TAVIK_API BOOL tavik_ReadDir(TAVIK_DIR* dir, LPWSTR buffer, int capacity);
/** Frees the cursor, then sends "closedir". The handle is gone in either case; 1 when the server
 * reported no error, else 0 (24002 when the handle is not open). */
TAVIK_API BOOL tavik_CloseDir(TAVIK_DIR* dir);

/* ---- Remote file I/O ---- */

/** Opens a remote file ("openfile"); flags go to the server as given. Returns the new handle
 * whenever the reply's error is 0 (its nFd is -1 when the reply had no "fd"), else null with the
 * common errors above or the server's (23006 no such file, 23001 the server cannot open it or
 * has too many open). Close it with tavik_FileClose. */
TAVIK_API TAVIK_FILE* tavik_FileOpen(LPCWSTR filename, int flags, TAVIK_SESSION session);
/** Sends size bytes of data ("writefile"). Returns the count the server reports, or -1. size 0
 * sends no data. A negative size, null data with a positive size, or a block too large for one
 * packet (about 1 MiB) fails with 24001 before anything is sent. A reply without "size" fails
 * with 21003 "wrong packet". */
TAVIK_API int tavik_FileWrite(TAVIK_FILE* file, const void* data, int size);
/** Asks for up to size bytes ("readfile") and copies the reply's data into buffer, never more than
 * size bytes; a reply without data leaves the buffer alone. Returns the count the server reports,
 * but never more than the bytes placed in the buffer; -1 on failure. A negative size or a null
 * buffer with a positive size fails with 24001 before anything is sent; a reply without "size"
 * fails with 21003 "wrong packet" and leaves the buffer alone. */
TAVIK_API int tavik_FileRead(TAVIK_FILE* file, void* buffer, int size);
/** Moves the server's file position ("seekfile"; offset and whence as given). Returns the position
 * the server reports, or -1; a reply without "size" fails with 21003 "wrong packet". */
TAVIK_API int tavik_FileSeek(TAVIK_FILE* file, int offset, int whence);
/** Frees the handle, then sends "closefile". The handle is gone in either case; 1 when the server
 * reported no error, else 0 (24002 when the handle is not open). */
TAVIK_API BOOL tavik_FileClose(TAVIK_FILE* file);

/* ---- Namespace operations (1 or 0) ---- */

/** Creates the folder fullpath ("createdir" with "fullpath"). 1, or 0 with the common errors
 * above or the server's: 23005 it exists already, 23006 its parent does not exist, 23009 not
 * permitted, 23007 the disk is full. */
TAVIK_API BOOL tavik_MakeFolder(LPCWSTR fullpath, TAVIK_SESSION session);
/** Creates a folder inside basepath under a name the server chooses, and copies that name into
 * name like a bounded wide-string copy over capacity units: the name, then NUL padding up to
 * capacity; when the name has capacity units or more, exactly capacity units and no terminator
 * (pass one unit less than the buffer holds). On failure the buffer is left alone. A reply whose
 * path is not longer than basepath plus a separator fails with 21003 "wrong packet" (the folder
 * may exist on the server). A null name with a positive capacity, or a negative capacity: 24001,
 * nothing sent. Error 23005 from the server means the folder already exists. */
TAVIK_API BOOL tavik_MakeFolder2(LPCWSTR basepath, LPWSTR name, int capacity,
                                 TAVIK_SESSION session);
/** Creates an empty file ("createfile" with "fullpath"). 1, or 0 with the common errors above or
 * the server's: 23005 it exists already, 23006 its folder does not exist, 23009 not permitted,
 * 23007 the disk is full. */
TAVIK_API BOOL tavik_CreateFile(LPCWSTR fullpath, TAVIK_SESSION session);
/** Deletes a file or folder ("deletefile" with "path", and "opt" = "force" when force is not 0);
 * force also deletes a folder's contents. 1, or 0 with the common errors above or the server's:
 * 23006 it does not exist, 23003 a folder that is not empty without force, 23009 not
 * permitted. */
TAVIK_API BOOL tavik_DeleteFile(LPCWSTR path, int force, TAVIK_SESSION session);
/** Renames ("renamefile"): oldpath and newpath are both full paths. 1, or 0 with the common
 * errors above or the server's: 23006 oldpath does not exist, 23005 newpath does, 23009 not
 * permitted. */
TAVIK_API BOOL tavik_RenameFile(LPCWSTR oldpath, LPCWSTR newpath, TAVIK_SESSION session);
/** Moves srcpath into the folder dirpath ("movefile"); dirpath names the folder, not a new name.
 * 1, or 0 with the common errors above or the server's: 23006 srcpath does not exist, 23008
 * dirpath is not a folder, 23005 the folder holds that name already, 23009 not permitted. */
TAVIK_API BOOL tavik_MoveFile(LPCWSTR srcpath, LPCWSTR dirpath, TAVIK_SESSION session);
/** Copies srcpath, a folder with all it holds, into the folder dirpath on the server
 * ("copyfile"). 1, or 0 with the errors of tavik_MoveFile, and 23007 when the copy does not fit
 * on the disk. */
TAVIK_API BOOL tavik_CopyFile(LPCWSTR srcpath, LPCWSTR dirpath, TAVIK_SESSION session);

TAVIK_EXTERN_C_END

#endif
