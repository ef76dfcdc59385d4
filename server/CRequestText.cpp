#include "server/CRequestText.h"

#include "server/CCommandLog.h"
#include "server/CWireText.h"

#include "sdk/core/CPacket.h"
#include "sdk/core/LargeFileWire.h"

namespace tavik::server {

namespace {

constexpr const char* kTextItems[] = {"id",      "path",    "filename", "fullpath", "basepath",
                                      "oldpath", "newpath", "srcpath",  "dirpath",  "destpath",
                                      "name",    "command", "opt",      "ip"};
constexpr const char* kNumberItems[] = {"fd",
                                        "hdir",
                                        "flags",
                                        "istrunc",
                                        "force",
                                        "startpos",
                                        "endpos",
                                        "size",
                                        "offset",
                                        "whence",
                                        "infotype",
                                        "recursivelevel",
                                        "getresult",
                                        "port",
                                        "lastwritetime",
                                        "lastaccesstime",
                                        largefile::kOfferItem};
constexpr const char* kWideItems[] = {largefile::kStartItem, largefile::kEndItem,
                                      largefile::kSizeItem, largefile::kOffsetItem};

void appendItem(std::string& out, const char* name, const std::string& value) {
    out.append(out.empty() ? "" : " ").append(name).append("=").append(value);
}

} // namespace

std::string CRequestText::arguments(const CPacket& request) {
    std::string out;
    for (const char* name : kTextItems) {
        const char* text = nullptr;
        if (request.GetString(name, &text)) {
            appendItem(out, name, "\"" + CCommandLog::loggable(CWireText::toHost(text)) + "\"");
        }
    }
    for (const char* name : kNumberItems) {
        int32_t value = 0;
        if (request.GetInt(name, &value)) {
            appendItem(out, name, std::to_string(value));
        }
    }
    for (const char* name : kWideItems) {
        if (const auto value = largefile::getU64(request, name)) {
            appendItem(out, name, std::to_string(*value));
        }
    }
    if (!request.Find("pass").empty()) {
        appendItem(out, "pass", "(given)");
    }
    return out;
}

} // namespace tavik::server
