// The program's one way to hand something to the platform's shell (the file manager for a
// folder, the web browser for an address): platform::CShellExecute with verb "open". Like the
// message box, a test (or an automatic run) can take the calls instead and read them.
// Threads: user-interface thread; the handler is process-wide.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace tavik::app {

struct ShellOpenRequest {
    QString file;       // the program, document, folder or address
    QString parameters; // empty for a document, folder or address
};

class CShellOpen {
public:
    using Handler = std::function<uint32_t(const ShellOpenRequest&)>;

    // 0 when the shell took it, else the shell's error code (CShellExecute).
    static uint32_t Open(const QString& file, const QString& parameters = QString());

    // Installs a handler that takes every call instead of the shell (empty: the shell again)
    // and returns the one it replaces.
    static Handler SetHandler(Handler handler);
};

} // namespace tavik::app
