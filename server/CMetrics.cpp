#include "server/CMetrics.h"

#include <cstdio>

namespace tavik::server {

namespace {

constexpr double kBounds[] = {0.001, 0.005, 0.01, 0.05, 0.1, 0.5, 1, 5, 30};

const std::map<std::string, std::string>& helps() {
    static const std::map<std::string, std::string> texts = {
        {"tavik_connections_refused_total", "Disk-server connections refused, by reason."},
        {"tavik_logins_total", "Disk logins, by result."},
        {"tavik_logins_throttled_total", "Disk logins that waited for or were refused by the "
                                         "failed-login delay."},
        {"tavik_commands_total", "Disk commands, by command and result code."},
        {"tavik_transfer_bytes_total", "Bytes of uploads (in) and downloads (out)."},
        {"tavik_service_logins_total", "Authentication-server logins, by result."},
        {"tavik_disk_list_queries_total", "Disk-information queries, by result."},
    };
    return texts;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A bucket bound as Prometheus clients write it ("0.1", not 0.10000000000000001).
std::string bound(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string labelText(const CMetrics::Labels& labels) {
    if (labels.empty()) {
        return {};
    }
    std::string out = "{";
    for (const auto& [name, value] : labels) {
        out += (out.size() > 1 ? "," : "") + name + "=\"";
        for (const char c : value) {
            out += c == '"' || c == '\\' ? std::string("\\") + c
                   : c == '\n'           ? "\\n"
                                         : std::string(1, c);
        }
        out += "\"";
    }
    return out + "}";
}

} // namespace

CMetrics& CMetrics::instance() {
    static CMetrics metrics;
    return metrics;
}

void CMetrics::add(const std::string& name, const Labels& labels, double amount) {
    const std::lock_guard lock(mutex_);
    counters_[name][labels] += amount;
}

void CMetrics::observeCommand(const std::string& command, double seconds) {
    const std::lock_guard lock(mutex_);
    Histogram& histogram = commandSeconds_[command];
    histogram.buckets.resize(std::size(kBounds));
    for (size_t i = 0; i < std::size(kBounds); ++i) {
        if (seconds <= kBounds[i]) {
            ++histogram.buckets[i];
            break;
        }
    }
    ++histogram.count;
    histogram.sum += seconds;
}

void CMetrics::setGauge(const std::string& name, const std::string& help, GaugeReader reader) {
    const std::lock_guard lock(mutex_);
    gauges_[name] = {help, std::move(reader)};
}

void CMetrics::clearGauges() {
    const std::lock_guard lock(mutex_);
    gauges_.clear();
}

std::string CMetrics::text() {
    const std::lock_guard lock(mutex_);
    std::string out;
    for (const auto& [name, samples] : counters_) {
        const auto help = helps().find(name);
        out += "# HELP " + name + " " + (help != helps().end() ? help->second : name) + "\n";
        out += "# TYPE " + name + " counter\n";
        for (const auto& [labels, value] : samples) {
            out += name + labelText(labels) + " " + number(value) + "\n";
        }
    }
    out += "# HELP tavik_command_seconds Time from a disk command's request to its end.\n";
    out += "# TYPE tavik_command_seconds histogram\n";
    for (const auto& [command, histogram] : commandSeconds_) {
        uint64_t cumulative = 0;
        for (size_t i = 0; i < std::size(kBounds); ++i) {
            cumulative += histogram.buckets[i];
            out += "tavik_command_seconds_bucket" +
                   labelText({{"command", command}, {"le", bound(kBounds[i])}}) + " " +
                   std::to_string(cumulative) + "\n";
        }
        out += "tavik_command_seconds_bucket" + labelText({{"command", command}, {"le", "+Inf"}}) +
               " " + std::to_string(histogram.count) + "\n";
        out += "tavik_command_seconds_sum" + labelText({{"command", command}}) + " " +
               number(histogram.sum) + "\n";
        out += "tavik_command_seconds_count" + labelText({{"command", command}}) + " " +
               std::to_string(histogram.count) + "\n";
    }
    for (const auto& [name, gauge] : gauges_) {
        out += "# HELP " + name + " " + gauge.first + "\n# TYPE " + name + " gauge\n";
        for (const auto& [labels, value] : gauge.second()) {
            out += name + labelText(labels) + " " + number(value) + "\n";
        }
    }
    return out;
}

} // namespace tavik::server
