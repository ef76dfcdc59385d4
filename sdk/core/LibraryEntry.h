// What the library does when it is loaded: find "tavik2.ini" beside the host program and read
// the trace settings from it. A load-time constructor of the shared library runs it; programs
// linked with the static archive (the tests) may call it themselves. Sockets need no start-up.
#pragma once

namespace tavik {

// Safe to call more than once: each call reads the settings again, and a key missing from the
// file leaves its setting as it was.
void InitializeLibrary();

} // namespace tavik
