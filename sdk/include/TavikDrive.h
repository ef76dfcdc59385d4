/** @file
 * Drive mapping: a remote disk as a network drive of the device.
 *
 * These calls use no session and no packet: they go through the platform's network-drive
 * service. On this platform a share "\\host\user" is mounted with `gio mount smb://host/user`
 * when gio is installed; without it every connection answers 50 (not supported). Device paths
 * below ("\Windows\...") lie under the device root (TAVIK_DEVICE_ROOT, default "/"); the
 * registry is the library's registry emulation (TAVIK_REGISTRY).
 *
 * Threading: the calls keep no state of their own, but two calls on the same hosts file at once
 * may both append a line; call them from one thread at a time. Like every export they write the
 * process-wide last error only as stated.
 *
 * Ownership: the caller's texts are read during the call only; nothing is returned to free. */
#ifndef TAVIK_DRIVE_H
#define TAVIK_DRIVE_H

#include "TavikTypes.h"

TAVIK_EXTERN_C_BEGIN

/** Maps the user's remote disk on serverAddress to the drive driveLetter ("%c:").
 *
 * reserved: not read. codeSource: UTF-16 text from which the share password is made (at most 8
 * characters; never stored). userName: UTF-16 user name (null reads as empty). driveLetter: a
 * UTF-16 letter A-Z or a-z. serverAddress: the disk server's address, written into the hosts
 * file as given.
 *
 * Steps, whose own failures are not reported: writes the drive icon "\Windows\tavik_service.ico"
 * (5286 bytes, four images) anew; sets the default value of HKEY_LOCAL_MACHINE
 * "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons\<letter>\DefaultIcon" to that
 * path; gives the server a host name "tavik" + N in "\Windows\lmhosts" (UTF-16), reusing the
 * number of an existing line for the address or appending "address\t\ttavikN\r\n" with the last
 * number + 1. An address that is empty, begins with "#" or holds a blank or line break is not
 * written, and the host name stays empty. Then connects "\\tavikN\userName"; when that fails
 * with anything but 50 it connects "\\serverAddress\userName". On success it opens the file
 * explorer on the drive ("explorer.exe" with "/n, /e, <letter>:"; its outcome is not checked).
 *
 * Returns 0 when connected, else the platform's error code: 50 not supported (last error 0);
 * 87 codeSource or serverAddress null and 1200 a driveLetter that is not a letter (last error
 * set to the same code, nothing else done); any other code is the second attempt's failure
 * (53 mount failed, 67 bad share name, 121 time-out), with the last error set to it. After a
 * success the last error is 0. The error text is never changed. */
TAVIK_API DWORD tavik_CreateDrive(void* reserved, LPCWSTR codeSource, LPCWSTR userName,
                                  WCHAR driveLetter, LPCWSTR serverAddress);

/** Disconnects the drive driveLetter, even with open files. The icon registration and the hosts
 * line stay. Returns 0, or 2250 (not connected), 50 (not supported) or 121 (time-out). The last
 * error is not changed. */
TAVIK_API DWORD tavik_CloseDrive(WCHAR driveLetter);

/** Whether drive mapping is possible: always 0. The last error is not changed. */
TAVIK_API int tavik_IsValidCreateDrive(WCHAR driveLetter);

TAVIK_EXTERN_C_END

#endif
