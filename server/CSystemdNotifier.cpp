#include "server/CSystemdNotifier.h"

#include <systemd/sd-daemon.h>

#include <ctime>

namespace tavik::server {

void CSystemdNotifier::ready(const std::string& status) {
    ::sd_notifyf(0, "READY=1\nSTATUS=%s", status.c_str());
}

void CSystemdNotifier::reloading() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long micros = static_cast<unsigned long long>(now.tv_sec) * 1000000ULL +
                                      static_cast<unsigned long long>(now.tv_nsec) / 1000ULL;
    ::sd_notifyf(0, "RELOADING=1\nMONOTONIC_USEC=%llu", micros);
}

void CSystemdNotifier::stopping() {
    ::sd_notify(0, "STOPPING=1");
}

} // namespace tavik::server
