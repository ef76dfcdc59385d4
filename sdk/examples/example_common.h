/* What the three TavikSDK examples share: text conversion between the terminal's UTF-8 and the
 * library's UTF-16, logging in from the command line, and remote paths under the session's own.
 *
 * The library takes UTF-16 (char16_t) text for sessions and listings, and narrow text in its ANSI
 * code page for the paths of transfers: CP949 unless TAVIK_ACP names another (TAVIK_ACP=UTF-8
 * lets these examples pass UTF-8 names through unchanged). Local paths of transfers are device
 * paths under TAVIK_DEVICE_ROOT (default "/"), so the examples make them absolute. */
#ifndef TAVIK_EXAMPLE_COMMON_H
#define TAVIK_EXAMPLE_COMMON_H

/* getcwd, strdup and sigaction under a strict -std=c11. */
#define _POSIX_C_SOURCE 200809L

#include <TavikSDK.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* UTF-8 to a new UTF-16 text (free it); invalid bytes become U+FFFD. */
static inline WCHAR* example_to_utf16(const char* text) {
    size_t length = strlen(text);
    WCHAR* out = calloc(length + 1, sizeof(WCHAR));
    size_t n = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p != 0;) {
        unsigned long code = 0xFFFD;
        int extra = *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : 0;
        if (*p < 0x80) {
            code = *p;
        } else if (extra > 0) {
            code = *p & (0x3F >> extra);
            for (int i = 1; i <= extra; ++i) {
                if ((p[i] & 0xC0) != 0x80) {
                    code = 0xFFFD;
                    extra = i - 1;
                    break;
                }
                code = (code << 6) | (p[i] & 0x3F);
            }
        }
        p += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out[n++] = (WCHAR)(0xD800 + (code >> 10));
            out[n++] = (WCHAR)(0xDC00 + (code & 0x3FF));
        } else {
            out[n++] = (WCHAR)code;
        }
    }
    return out;
}

/* UTF-16 to a new UTF-8 text (free it). */
static inline char* example_to_utf8(LPCWSTR text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    char* out = malloc(length * 3 + 1);
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned long code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (code < 0x80) {
            out[n++] = (char)code;
        } else if (code < 0x800) {
            out[n++] = (char)(0xC0 | (code >> 6));
            out[n++] = (char)(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out[n++] = (char)(0xE0 | (code >> 12));
            out[n++] = (char)(0x80 | ((code >> 6) & 0x3F));
            out[n++] = (char)(0x80 | (code & 0x3F));
        } else {
            out[n++] = (char)(0xF0 | (code >> 18));
            out[n++] = (char)(0x80 | ((code >> 12) & 0x3F));
            out[n++] = (char)(0x80 | ((code >> 6) & 0x3F));
            out[n++] = (char)(0x80 | (code & 0x3F));
        }
    }
    out[n] = 0;
    return out;
}

/* The library's last error as one line on standard error. */
static inline void example_report(const char* program, const char* what) {
    char* text = example_to_utf8(tavik_GetLastErrStr());
    fprintf(stderr, "%s: %s: error %d %s\n", program, what, tavik_GetLastError(), text);
    free(text);
}

/* Logs in to host:port as the disk id, with the password in TAVIK_PASSWORD when it is set, and
 * a 30 s limit on every wait for the server. Null (reported) when that fails. */
static inline TAVIK_SESSION example_login(const char* program, const char* host, const char* port,
                                          const char* disk) {
    WCHAR* host16 = example_to_utf16(host);
    WCHAR* disk16 = example_to_utf16(disk);
    const char* password = getenv("TAVIK_PASSWORD");
    WCHAR* password16 = password != NULL ? example_to_utf16(password) : NULL;
    TAVIK_SESSION session = tavik_CreateSession(host16, atoi(port), disk16, password16, 30000);
    if (session == NULL) {
        example_report(program, "cannot log in");
    }
    free(host16);
    free(disk16);
    free(password16);
    return session;
}

/* The session path joined with a path on the disk ("" or "/" for the disk itself), in UTF-8. */
static inline char* example_remote_path(TAVIK_SESSION session, const char* path) {
    char* root = example_to_utf8(tavik_GetSessionPath(session));
    while (*path == '/') {
        ++path;
    }
    char* out = malloc(strlen(root) + strlen(path) + 2);
    sprintf(out, *path != 0 ? "%s/%s" : "%s", root, path);
    free(root);
    return out;
}

/* path made absolute against the current folder (the folder itself need not exist). */
static inline char* example_local_path(const char* path) {
    char folder[PATH_MAX];
    if (path[0] == '/' || getcwd(folder, sizeof folder) == NULL) {
        return strdup(path);
    }
    char* out = malloc(strlen(folder) + strlen(path) + 2);
    sprintf(out, "%s/%s", folder, path);
    return out;
}

#endif
