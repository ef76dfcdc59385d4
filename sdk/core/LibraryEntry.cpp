#include "sdk/core/LibraryEntry.h"

#include "sdk/core/CConfigFile.h"
#include "sdk/core/CTrace.h"

#include <string>

namespace tavik {

void InitializeLibrary() {
    std::string path = CConfigFile::PathBesideExecutable();
    CTrace::instance().LoadTraceSettings(path.empty() ? nullptr : path.c_str());
}

} // namespace tavik

namespace {

// The load notification of the library: it never fails the load, whatever the file holds.
__attribute__((constructor)) void onLibraryLoad() {
    tavik::InitializeLibrary();
}

} // namespace
