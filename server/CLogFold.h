// Folds one client address's repeated log lines (refused logins, failed commands, dropped
// connections) so that a client cannot flood the log: in each interval an address gets
// kLinesPerInterval lines written; the rest are only counted, and when the interval is over one
// summary line says how many there were and what the last one said.
//
// Pure over time (the caller passes now); not thread-safe (CCommandLog holds its lock).
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::server {

class CLogFold {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLinesPerInterval = 10;
    static constexpr std::chrono::seconds kInterval{10};

    struct Summary {
        std::string address;
        long folded = 0;      // lines not written
        std::string lastText; // the text of the last of them
    };

    explicit CLogFold(std::chrono::seconds interval = kInterval) : interval_(interval) {}

    // True when a line from address may be written now; false when it is counted instead.
    bool admit(std::string_view address, std::string_view text, Clock::time_point now);
    // The summaries of the intervals over by now (every interval when all is set), each given
    // once; addresses whose interval is over are forgotten.
    std::vector<Summary> due(Clock::time_point now, bool all = false);

private:
    struct Window {
        Clock::time_point start;
        int written = 0;
        long folded = 0;
        std::string lastText;
    };

    std::chrono::seconds interval_;
    std::map<std::string, Window, std::less<>> windows_;
    std::vector<Summary> pending_; // of windows that ended when their address wrote again
};

} // namespace tavik::server
