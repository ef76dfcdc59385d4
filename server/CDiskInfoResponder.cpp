#include "server/CDiskInfoResponder.h"

#include "app/login/FormWire.h"
#include "platform/CStreamScrambler.h"
#include "server/CDiskCapability.h"
#include "server/CWireText.h"

#include <chrono>
#include <map>

namespace tavik::server {

namespace {

using Pairs = std::map<std::string, std::string>;

const platform::CStreamScrambler& formScrambler() {
    static const platform::CStreamScrambler scrambler(
        app::formwire::kScrambleStart, app::formwire::kScrambleMultiplier,
        app::formwire::kScrambleIncrement, platform::CStreamScrambler::UnitWidth::Bits8,
        platform::CStreamScrambler::Feedback::Signed);
    return scrambler;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Form decoding on the wire's ANSI bytes: "+" is a space, "%XX" a byte.
std::string formDecode(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            bytes += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return CWireText::toHost(bytes);
}

// Form encoding of UTF-8 text into ANSI: ASCII letters and digits pass, a space is "+", every
// other byte "%XX" (the client decodes the bytes before it converts them from the code page).
std::string formEncode(std::string_view utf8) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : CWireText::toWire(utf8)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= 'a' && byte <= 'z')) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        }
    }
    return out;
}

// The pairs of a request frame; empty pieces are skipped, a later key replaces an earlier one.
Pairs parseRequest(std::span<const uint8_t> frame) {
    const uint32_t length = frame[4] | (uint32_t{frame[5]} << 8) | (uint32_t{frame[6]} << 16) |
                            (uint32_t{frame[7]} << 24);
    std::vector<uint8_t> text(frame.begin() + 8, frame.begin() + 8 + length);
    formScrambler().Unscramble(std::span<uint8_t>(text));
    const std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
    Pairs pairs;
    size_t start = 0;
    while (start < view.size()) {
        size_t end = view.find('&', start);
        end = end == std::string_view::npos ? view.size() : end;
        const std::string_view piece = view.substr(start, end - start);
        if (!piece.empty()) {
            const size_t equals = piece.find('=');
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
            pairs[formDecode(piece.substr(0, equals))] = formDecode(value);
        }
        start = end + 1;
    }
    return pairs;
}

std::vector<uint8_t> replyFrame(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string text;
    for (const auto& [key, value] : pairs) {
        text += "&" + formEncode(key) + "=" + formEncode(value);
    }
    std::vector<uint8_t> frame(8 + text.size());
    const auto total = static_cast<uint32_t>(frame.size());
    const auto length = static_cast<uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<uint8_t>(total >> (8 * i));
        frame[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    std::copy(text.begin(), text.end(), frame.begin() + 8);
    formScrambler().Scramble(std::span<uint8_t>(frame).subspan(8));
    return frame;
}

std::vector<uint8_t> errorReply(const char* code, const char* message) {
    return replyFrame({{"inform", "error"}, {"errmsg", message}, {"errorcode", code}});
}

int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

CDiskInfoResponder::CDiskInfoResponder(const CServerConfig& config, CRecentLogins& recentLogins)
    : config_(config), recentLogins_(recentLogins) {}

std::vector<uint8_t> CDiskInfoResponder::answer(std::span<const uint8_t> frame,
                                                const std::string& peerAddress) {
    const Pairs request = parseRequest(frame);
    const auto cmd = request.find("cmd");
    const auto userName = request.find("username");
    if (cmd == request.end() || cmd->second != "GetDiskInfo" || userName == request.end()) {
        return errorReply("100", "잘못된 요청입니다");
    }
    // An unknown account gets the answer of one that has not logged in: never having logged in
    // is exactly its state, and the answer tells nobody which accounts exist.
    const AccountConfig* account = config_.service.findAccount(userName->second);
    if (account == nullptr ||
        !recentLogins_.allows(account->identifier(), peerAddress, CRecentLogins::Clock::now())) {
        return errorReply("101", "먼저 로그인하십시오");
    }
    const auto lifetime = std::chrono::hours(config_.service.capabilityLifetimeHours);
    const int64_t now = secondsNow();
    std::string values;
    for (const AccountDisk& disk : account->disks) {
        const std::string capability =
            CDiskCapability::issue(*config_.capabilityKey, disk.diskId, now, lifetime);
        values += capability + "|" + disk.name + "|" + disk.server + "|" + account->user + "|";
    }
    std::vector<uint8_t> reply =
        replyFrame({{"inform", "GetDiskInfo"},
                    {"tavikinfofield", "diskid|diskname|serverip|loginid|"},
                    {"tavikinfo", values}});
    // The client gives up on a reply buffer beyond 64 KiB: say why instead of sending it.
    if (reply.size() > app::formwire::kMaxBufferBytes) {
        return errorReply("102", "디스크 목록이 너무 깁니다");
    }
    return reply;
}

} // namespace tavik::server
