// The server's counters for the metrics endpoint, process-wide: counters by name and labels,
// a latency histogram per command, and gauges read when the text is made. text() renders the
// Prometheus exposition format (version 0.0.4). Label values are client-influenced only through
// command names, which callers reduce to the known ones. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavik::server {

class CMetrics {
public:
    using Labels = std::vector<std::pair<std::string, std::string>>;

    static CMetrics& instance();

    void add(const std::string& name, const Labels& labels, double amount = 1);
    // One observation of the histogram tavik_command_seconds for a command.
    void observeCommand(const std::string& command, double seconds);
    // A gauge whose samples are read at each text(): name, help, and the reader.
    using GaugeReader = std::function<std::vector<std::pair<Labels, double>>()>;
    void setGauge(const std::string& name, const std::string& help, GaugeReader reader);
    // Forgets every gauge (their readers may point at objects about to go).
    void clearGauges();
    std::string text();

private:
    struct Histogram {
        std::vector<uint64_t> buckets; // counts per upper bound (kBounds), not cumulative
        uint64_t count = 0;
        double sum = 0;
    };

    std::mutex mutex_;
    std::map<std::string, std::map<Labels, double>> counters_;
    std::map<std::string, Histogram> commandSeconds_;
    std::map<std::string, std::pair<std::string, GaugeReader>> gauges_;
};

} // namespace tavik::server
