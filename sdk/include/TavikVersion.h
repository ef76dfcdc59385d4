/** @file
 * The library's version and the features it was built with, asked at run time.
 *
 * A program built against one version of the headers may run with a later library of the same
 * soname; tavik_GetVersion tells it which one it got and whether optional parts are there.
 *
 * Threading: any thread, at any time.
 *
 * Ownership: the text returned is the library's and constant. */
#ifndef TAVIK_VERSION_H
#define TAVIK_VERSION_H

#include "TavikTypes.h"

/** Feature bits reported by tavik_GetVersion. */
enum {
    TAVIK_FEATURE_IPV6 = 1,       /* IPv6 server addresses (always built) */
    TAVIK_FEATURE_TLS = 2,        /* encrypted connections */
    TAVIK_FEATURE_LARGE_FILES = 4 /* files of 4 GiB and more through the 64-bit exports */
};

TAVIK_EXTERN_C_BEGIN

/** The library's version and features as one line of ASCII text: "MAJOR.MINOR.PATCH" followed by
 * the name of each built feature after one blank, in this order: "IPv6", "TLS", "large-files"
 * (for example "1.0.0 IPv6 TLS"). The text is owned by the library, constant and valid as long
 * as the library is loaded; never free it. When features is not null it receives the
 * TAVIK_FEATURE_ bits of the same features. Never fails, leaves the last error untouched, needs
 * no session and may be called from any thread at any time. */
TAVIK_API const char* tavik_GetVersion(unsigned int* features);

TAVIK_EXTERN_C_END

#endif
