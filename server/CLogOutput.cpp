#include "server/CLogOutput.h"

#include <systemd/sd-journal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <vector>

namespace tavik::server {

namespace {

std::atomic<int> g_level{static_cast<int>(CLogOutput::Level::Info)};
std::atomic<int> g_format{static_cast<int>(CLogOutput::Format::Text)};

constexpr const char* kLevelNames[] = {"error", "warning", "info", "debug"};

// True when systemd connected stderr to the journal (JOURNAL_STREAM names its device and inode).
bool stderrIsJournal() {
    static const bool journal = [] {
        const char* stream = std::getenv("JOURNAL_STREAM");
        struct stat status {};
        if (stream == nullptr || ::fstat(2, &status) != 0) {
            return false;
        }
        unsigned long long device = 0;
        unsigned long long inode = 0;
        return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
               device == static_cast<unsigned long long>(status.st_dev) &&
               inode == static_cast<unsigned long long>(status.st_ino);
    }();
    return journal;
}

// Length of the valid UTF-8 sequence at text[at], or 0.
size_t utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (size_t i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

void appendString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t at = 0; at < text.size();) {
        const char c = text[at];
        const size_t length = utf8Length(text, at);
        if (length == 0) {
            out += '?';
            ++at;
        } else if (c == '"' || c == '\\') {
            out.append(1, '\\').append(1, c);
            ++at;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += '?';
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    out += '"';
}

void appendField(std::string& out, const char* name, std::string_view value) {
    if (!value.empty()) {
        out.append(",\"").append(name).append("\":");
        appendString(out, value);
    }
}

template <class T>
void appendNumber(std::string& out, const char* name, const std::optional<T>& value) {
    if (value) {
        out.append(",\"").append(name).append("\":").append(std::to_string(*value));
    }
}

std::string localTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

void sendToJournal(const CLogOutput::Record& record, const std::string& textLine) {
    static constexpr int kPriorities[] = {LOG_ERR, LOG_WARNING, LOG_INFO, LOG_DEBUG};
    std::vector<std::string> fields;
    std::string message = textLine;
    if (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    fields.push_back("MESSAGE=" + message);
    fields.push_back("PRIORITY=" + std::to_string(kPriorities[static_cast<int>(record.level)]));
    const auto add = [&](const char* name, std::string_view value) {
        if (!value.empty()) {
            fields.push_back(std::string(name) + "=" + std::string(value));
        }
    };
    add("TAVIK_CLIENT", record.client);
    add("TAVIK_DISK", record.disk);
    add("TAVIK_ACCOUNT", record.account);
    add("TAVIK_COMMAND", record.command);
    add("TAVIK_PATH", record.path);
    if (record.result) {
        add("TAVIK_RESULT", std::to_string(*record.result));
    }
    if (record.bytes) {
        add("TAVIK_BYTES", std::to_string(*record.bytes));
    }
    if (record.ms) {
        add("TAVIK_MS", std::to_string(*record.ms));
    }
    std::vector<iovec> vectors;
    for (std::string& field : fields) {
        vectors.push_back({field.data(), field.size()});
    }
    ::sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size()));
}

} // namespace

std::optional<CLogOutput::Level> CLogOutput::parseLevel(std::string_view text) {
    for (int i = 0; i < 4; ++i) {
        if (text == kLevelNames[i]) {
            return static_cast<Level>(i);
        }
    }
    return std::nullopt;
}

std::optional<CLogOutput::Format> CLogOutput::parseFormat(std::string_view text) {
    if (text == "text") {
        return Format::Text;
    }
    if (text == "json") {
        return Format::Json;
    }
    return std::nullopt;
}

void CLogOutput::configure(Level level, Format format) {
    g_level = static_cast<int>(level);
    g_format = static_cast<int>(format);
}

bool CLogOutput::enabled(Level level) {
    return static_cast<int>(level) <= g_level.load();
}

std::string CLogOutput::json(const Record& record, std::string_view time) {
    std::string out = "{\"time\":";
    appendString(out, time);
    out.append(",\"level\":\"").append(kLevelNames[static_cast<int>(record.level)]).append("\"");
    appendField(out, "client", record.client);
    appendField(out, "disk", record.disk);
    appendField(out, "account", record.account);
    appendField(out, "command", record.command);
    appendField(out, "path", record.path);
    appendNumber(out, "result", record.result);
    appendNumber(out, "bytes", record.bytes);
    appendNumber(out, "ms", record.ms);
    appendField(out, "message", record.message);
    out += "}\n";
    return out;
}

void CLogOutput::write(const Record& record, const std::string& textLine) {
    if (!enabled(record.level)) {
        return;
    }
    if (static_cast<Format>(g_format.load()) == Format::Json) {
        std::fputs(json(record, localTime()).c_str(), stderr);
    } else if (stderrIsJournal()) {
        sendToJournal(record, textLine);
    } else {
        std::fputs(textLine.c_str(), stderr);
    }
}

} // namespace tavik::server
