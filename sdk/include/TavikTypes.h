/** @file
 * Basic types of the TavikSDK interface, usable from C and C++.
 *
 * Text crossing the interface is UTF-16 (WCHAR is char16_t in both languages: C gets it from
 * <uchar.h>, where it is an unsigned 16-bit integer type). Paths that the transfer records carry
 * are narrow text in the system ANSI code page (TAVIK_ACP, default CP949). */
#ifndef TAVIK_TYPES_H
#define TAVIK_TYPES_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#define TAVIK_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define TAVIK_EXTERN_C_BEGIN extern "C" {
#define TAVIK_EXTERN_C_END }
#else
#define TAVIK_EXTERN_C_BEGIN
#define TAVIK_EXTERN_C_END
#endif

typedef char16_t WCHAR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPWSTR;
typedef int BOOL;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

/* A window handle points to an object with one virtual window procedure (see TavikWindow.h);
 * C callers only pass it through. */
#ifdef __cplusplus
class CWindow;
typedef CWindow* HWND;
#else
typedef struct CWindow* HWND;
#endif

/** Session handle: opaque, null means not connected. */
typedef void* TAVIK_SESSION;

#endif
