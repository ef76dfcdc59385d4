/** @file
 * Sessions: one logged-in TCP connection to a disk server each.
 *
 * A session reconnects and logs in again by itself when a command finds its connection dead.
 * The registry of live sessions and the session fields are not locked: creating, destroying and
 * querying sessions and changing a time-out must not run concurrently with each other or with
 * commands on the same session.
 *
 * Threading: commands on one session from several threads are serialised per request/reply round
 * trip; session management (create, duplicate, destroy, time-outs, the getters) belongs to one
 * thread at a time. The last error is process-wide.
 *
 * Ownership: the library owns a session from tavik_CreateSession or tavik_DuplicateSession until
 * tavik_DestroySession; texts it returns belong to the session. The caller owns the texts it
 * passes in, which are copied. */
#ifndef TAVIK_SESSION_H
#define TAVIK_SESSION_H

#include "TavikTypes.h"

/** Never read by the library. */
typedef struct _VXTAVIK_HOSTINFO {
    LPCWSTR pszHost;
    int nPort;
} _VXTAVIK_HOSTINFO;

#ifdef __cplusplus
/** Always returns null and leaves the last error alone. Exported under its decorated name. */
TAVIK_API TAVIK_SESSION tavik_CreateVXSession(_VXTAVIK_HOSTINFO* host, LPCWSTR user,
                                              LPCWSTR password, int timeout);
#endif

TAVIK_EXTERN_C_BEGIN

/** Connects to host:port and logs in as user. password may be null (sent empty); timeout is the
 * millisecond budget of each packet send and receive, -1 for none. Returns the new handle, or
 * null with the last error: 21002 "socket info error" (empty host or port 0), 21001
 * "connect fail..", 21002 "socket error" (login exchange failed), or the server's error.
 * Host names longer than 254 bytes and user IDs or passwords longer than 510 bytes in the ANSI
 * code page are refused with 24001 "wrong parameter". */
TAVIK_API TAVIK_SESSION tavik_CreateSession(LPCWSTR host, int port, LPCWSTR user, LPCWSTR password,
                                            int timeout);
/** A new session with the same server, account and time-out, logged in on its own connection;
 * null with the errors of tavik_CreateSession. A null or unregistered (destroyed) handle: 24002,
 * text unchanged. */
TAVIK_API TAVIK_SESSION tavik_DuplicateSession(TAVIK_SESSION session);
/** Closes the connection and frees the session; an unregistered handle sets 24002. */
TAVIK_API void tavik_DestroySession(TAVIK_SESSION session);
/** Takes effect with the next exchange; -1 removes the limit. Unregistered: 24002. */
TAVIK_API void tavik_SetSessionTimeout(TAVIK_SESSION session, int timeout);
/** The longest wait, in ms, for a session's TCP connection to be made, for every session of the
 * process: creation, duplication and each reconnect of a command. -1 (the default; any negative
 * value) leaves it to the system, which may try for minutes against a server that drops
 * connection attempts. A connect that runs out of time fails as any failed connect: 21001
 * "connect fail..". Thread-safe; takes effect with the next connect. Returns the previous value. */
TAVIK_API int tavik_SetConnectTimeout(int timeout);
/** The transport security modes of tavik_SetSecurity. */
enum { TAVIK_SECURITY_OFF = 0, TAVIK_SECURITY_REQUIRED = 1, TAVIK_SECURITY_PREFERRED = 2 };
/** Transport security of the sessions created from now on (tavik_CreateSession; a duplicate keeps
 * its original's, and every session keeps its own for each reconnect):
 *   TAVIK_SECURITY_OFF        plain TCP, as the protocol always was (the default);
 *   TAVIK_SECURITY_REQUIRED   TLS 1.3 or no session;
 *   TAVIK_SECURITY_PREFERRED  TLS, but a server that does not answer in TLS at all is used in
 *                             plain (a certificate that fails the check below never is).
 * fingerprint (null or empty: none) pins the server's certificate by its SHA-256 fingerprint
 * ("AB:CD:..." as tavik_GetServerFingerprint gives it; hex without ':' and a "SHA256:" prefix are
 * read too); without one the certificate must lead to a CA of the system's store and name the
 * host the session connects to. A server that is not trusted fails the creation with 21101
 * "server certificate not trusted: REASON"; a TLS handshake that does not complete with 21102
 * "secure connection failed: REASON". Returns the previous mode, or -1 with 24001 for an
 * unknown mode or a fingerprint that is not 32 bytes of hex. Thread-safe. */
TAVIK_API int tavik_SetSecurity(int mode, LPCWSTR fingerprint);
/** 1 when the session's connection is TLS now, 0 when plain (or closed); -1 with 24002 for an
 * unregistered handle. */
TAVIK_API int tavik_GetSessionSecurity(TAVIK_SESSION session);
/** The certificate fingerprint of the server this thread last made a TLS handshake with (also
 * after a refusal: show it, ask, and pin it to trust it on first use); empty when that server
 * showed none. Owned by the library, valid until this thread's next connect. Touches no last
 * error. */
TAVIK_API LPCWSTR tavik_GetServerFingerprint(void);
/** The session path of the last login reply ("path", the root of the session's remote paths);
 * owned by the session, valid until it logs in again or is destroyed. No round trip. An
 * unregistered handle: null with 24002; otherwise the last error is left alone. */
TAVIK_API LPCWSTR tavik_GetSessionPath(TAVIK_SESSION session);
/** The "mode" of the last login reply. An unregistered handle: 0 with 24002; otherwise the last
 * error is left alone. */
TAVIK_API int tavik_GetSessionMode(TAVIK_SESSION session);
/** The "openurl" text of the last login reply, as tavik_GetSessionPath (null with 24002 for an
 * unregistered handle). */
TAVIK_API LPCWSTR tavik_GetSessionOpenUrl(TAVIK_SESSION session);
/** The "message" text of the last login reply, as tavik_GetSessionPath (null with 24002 for an
 * unregistered handle). */
TAVIK_API LPCWSTR tavik_GetSessionMessage(TAVIK_SESSION session);

TAVIK_EXTERN_C_END

#endif
