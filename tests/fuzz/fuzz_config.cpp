// The configuration file reader on arbitrary file bytes: key lookup and the trace settings built
// from it must stay within their limits whatever the file holds.
#include "platform/AnsiCodePage.h"
#include "sdk/core/CConfigFile.h"
#include "sdk/core/CTrace.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text =
        tavik::platform::fromAnsi(std::string(reinterpret_cast<const char*>(data), size));
    tavik::CConfigFile file;
    file.SetText(text);

    for (const char16_t* key : {u"TRACE_BL_LEVEL", u"TRACE_BL_LOG", u"TRACE_BL_KEY", u"A"}) {
        std::optional<std::u16string> value = file.Find(key);
        if (value) {
            // A value is one token: never longer than the text, never holding a separator.
            check(value->size() <= text.size());
            check(value->find_first_of(u" =\t\r\n") == std::u16string::npos);
            tavik::ParseDecimal(*value);
        }
    }

    std::tm date{};
    date.tm_year = 126;
    date.tm_mon = 11;
    date.tm_mday = 7;
    tavik::CTrace& trace = tavik::CTrace::instance();
    trace.Reset();
    trace.ApplySettings(file, date);
    check(trace.logPath().size() <= tavik::CTrace::kLogPathMax);
    for (const std::u16string& key : trace.keys()) {
        check(!key.empty() && key.size() <= tavik::CTrace::kValueMax);
        // Every listed key passes the gate at the configured level, unless its quotes are what
        // the gate strips from the key it is asked about.
        check(trace.TraceEnabled(trace.level(), key) || key.front() == u'"' || key.back() == u'"');
    }
    return 0;
}
