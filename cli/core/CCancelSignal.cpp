#include "cli/core/CCancelSignal.h"

namespace tavik::cli {

volatile std::sig_atomic_t CCancelSignal::s_flag = 0;

CCancelSignal::CCancelSignal() {
    s_flag = 0;
    struct sigaction action {};
    action.sa_handler = &CCancelSignal::onInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: a second Ctrl-C gets the default action. SA_RESTART: the library's waits
    // resume after the handler instead of failing with EINTR; it reads the flag between waits.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    m_installed = sigaction(SIGINT, &action, &m_previous) == 0;
}

CCancelSignal::~CCancelSignal() {
    if (m_installed) {
        sigaction(SIGINT, &m_previous, nullptr);
    }
}

void CCancelSignal::onInterrupt(int /*signal*/) {
    s_flag = 1;
}

} // namespace tavik::cli
