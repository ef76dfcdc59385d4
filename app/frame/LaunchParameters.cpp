#include "app/frame/LaunchParameters.h"

#include "app/settings/CAccountStore.h"

namespace tavik::app {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string Trimmed(std::u16string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return std::u16string(text.substr(begin, end - begin));
}

std::u16string LowerCased(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + (u'a' - u'A'));
        }
    }
    return text;
}

} // namespace

std::map<std::u16string, std::u16string> ParseLaunchParameters(std::u16string_view commandLine) {
    std::map<std::u16string, std::u16string> pairs;
    if (commandLine.size() <= kLaunchPrefixLength) {
        return pairs;
    }
    std::u16string_view rest = commandLine.substr(kLaunchPrefixLength);
    while (!rest.empty()) {
        size_t end = rest.find(u';');
        std::u16string_view piece = rest.substr(0, end);
        size_t equals = piece.find(u'=');
        if (equals != std::u16string_view::npos) {
            pairs[LowerCased(Trimmed(piece.substr(0, equals)))] = Trimmed(piece.substr(equals + 1));
        }
        if (end == std::u16string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
    return pairs;
}

bool ApplyLaunchParameters(std::u16string_view commandLine, CAccountGlobals& account) {
    auto pairs = ParseLaunchParameters(commandLine);
    auto user = pairs.find(u"u_id");
    if (user == pairs.end() || user->second.empty()) {
        CAccountStore().Load(account);
        return false;
    }
    account.userName = user->second;
    account.domainSuffix = CAccountStore::DefaultDomainSuffix();
    auto key = pairs.find(u"u_sessionkey");
    if (key == pairs.end()) {
        return false;
    }
    account.sessionKey = key->second;
    account.password.clear();
    account.autoLogin = true;
    return true;
}

} // namespace tavik::app
