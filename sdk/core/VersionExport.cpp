// tavik_GetVersion: the version comes from the build (TAVIK_SDK_VERSION_TEXT), the features from
// the macros that switch optional parts on.
#include "sdk/include/TavikVersion.h"

#ifndef TAVIK_SDK_VERSION_TEXT
#error "the build defines TAVIK_SDK_VERSION_TEXT, the library's version"
#endif

namespace {

#ifdef TAVIK_WITH_TLS
#define TAVIK_TLS_TEXT " TLS"
constexpr unsigned int kTlsBit = TAVIK_FEATURE_TLS;
#else
#define TAVIK_TLS_TEXT ""
constexpr unsigned int kTlsBit = 0;
#endif

#ifdef TAVIK_WITH_LARGE_FILES
#define TAVIK_LARGE_FILES_TEXT " large-files"
constexpr unsigned int kLargeFilesBit = TAVIK_FEATURE_LARGE_FILES;
#else
#define TAVIK_LARGE_FILES_TEXT ""
constexpr unsigned int kLargeFilesBit = 0;
#endif

constexpr char kVersionText[] =
    TAVIK_SDK_VERSION_TEXT " IPv6" TAVIK_TLS_TEXT TAVIK_LARGE_FILES_TEXT;
constexpr unsigned int kFeatures = TAVIK_FEATURE_IPV6 | kTlsBit | kLargeFilesBit;

} // namespace

extern "C" TAVIK_API const char* tavik_GetVersion(unsigned int* features) {
    if (features != nullptr) {
        *features = kFeatures;
    }
    return kVersionText;
}
