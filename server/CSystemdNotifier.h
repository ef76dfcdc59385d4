// Notices to the service manager that started the server (systemd's notify protocol): ready once
// every listener is up, reloading around a reload, stopping at a stop, and a one-line status.
// Without NOTIFY_SOCKET in the environment (any start but a Type=notify unit) every call does
// nothing. Thread-safe; failures to send are ignored (the server runs the same without them).
#pragma once

#include <string>

namespace tavik::server {

class CSystemdNotifier {
public:
    // "READY=1" with a status line.
    static void ready(const std::string& status);
    // "RELOADING=1" with the monotonic time the manager pairs it with; ready() follows.
    static void reloading();
    // "STOPPING=1".
    static void stopping();
};

} // namespace tavik::server
