#include "app/socket/CServerTrust.h"

#include "app/shell/CLanguage.h"
#include "app/shell/CMessageBox.h"
#include "tls/CTlsChannel.h"
#include "tls/CTlsContext.h"

#include <QString>

#include <fcntl.h>

namespace tavik::app {

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// The handle's file-status flags while the handshake runs non-blocking; restored on leaving.
class NonBlockingScope {
public:
    explicit NonBlockingScope(int handle) : handle_(handle), flags_(fcntl(handle, F_GETFL)) {
        ok_ = flags_ >= 0 && fcntl(handle, F_SETFL, flags_ | O_NONBLOCK) == 0;
    }
    ~NonBlockingScope() {
        if (ok_) {
            fcntl(handle_, F_SETFL, flags_);
        }
    }
    NonBlockingScope(const NonBlockingScope&) = delete;
    NonBlockingScope& operator=(const NonBlockingScope&) = delete;
    bool Ok() const { return ok_; }

private:
    int handle_;
    int flags_;
    bool ok_ = false;
};

// The texts below are composed from templates and pieces (servers, fingerprints, errors): each
// template is translated before the pieces go in.
void refuse(const QString& why, QWidget* parent) {
    CMessageBox::Show(CLanguage::Tr(QStringLiteral("보안 연결 실패!\n%1")).arg(why), QString(),
                      MB_OK | MB_ICONERROR, parent);
}

} // namespace

CServerTrust::CServerTrust() : known_(tls::CKnownServers::defaultPath()) {}

std::string CServerTrust::KnownFingerprint(const std::string& host, uint16_t port) const {
    return known_.find(tls::CKnownServers::key(host, port)).value_or("");
}

CServerTrust::Verdict CServerTrust::Decide(const std::string& host, uint16_t port,
                                           const std::string& seen, bool caTrusted,
                                           QWidget* parent) const {
    const std::string server = tls::CKnownServers::key(host, port);
    std::string known;
    switch (known_.check(server, seen, known)) {
    case tls::CKnownServers::Match::Same:
        return Verdict::Trusted;
    case tls::CKnownServers::Match::Changed:
        CMessageBox::Show(CLanguage::Tr(QStringLiteral("경고: %1 서버의 인증서가 바뀌었습니다!\n"
                                                       "알고 있던 지문:\n%2\n지금 지문:\n%3\n"
                                                       "누군가 중간에서 가로채고 있을 수 있어 "
                                                       "연결하지 않습니다.\n바뀐 것이 맞다면 %4 "
                                                       "에서 이 서버의 줄을 지우십시오."))
                              .arg(text(server), text(known), text(seen), text(known_.path())),
                          QString(), MB_OK | MB_ICONERROR, parent);
        return Verdict::Refused;
    case tls::CKnownServers::Match::Unknown:
        break;
    }
    if (caTrusted) {
        return Verdict::Trusted;
    }
    std::string error;
    if (known_.keptForHost(server, seen)) {
        // The certificate the user accepted for another of this host's servers: kept for this
        // one too, without asking again. Kept or not, it is as trusted as it was there.
        known_.remember(server, seen, error);
        return Verdict::Trusted;
    }
    const int answer = CMessageBox::Show(
        CLanguage::Tr(QStringLiteral("처음 접속하는 서버입니다: %1\n인증서 지문:\n%2\n"
                                     "서버 관리자가 알려 준 지문과 같을 때만 확인을 누르십시오.\n"
                                     "확인하면 이 서버를 기억합니다."))
            .arg(text(server), text(seen)),
        QString(), MB_OKCANCEL | MB_ICONQUESTION, parent);
    if (answer != IDOK) {
        return Verdict::Refused;
    }
    if (!known_.remember(server, seen, error)) {
        refuse(text(error), parent);
        return Verdict::Refused;
    }
    return Verdict::Trusted;
}

CServerTrust::Outcome CServerTrust::Secure(int handle, const std::string& host, uint16_t port,
                                           CSecuritySetting::Mode mode, int timeoutMs,
                                           std::unique_ptr<tls::CTlsChannel>& channel,
                                           QWidget* parent) const {
    channel.reset();
    std::shared_ptr<const tls::CTlsContext> context = tls::CTlsContext::systemClient();
    NonBlockingScope nonBlocking(handle);
    std::unique_ptr<tls::CTlsChannel> opened =
        context && nonBlocking.Ok() ? tls::CTlsChannel::open(context, handle) : nullptr;
    if (!opened || !opened->expectHost(host)) {
        refuse(CLanguage::Tr(QStringLiteral("보안 연결을 시작할 수 없습니다.")), parent);
        return Outcome::Refused;
    }
    const tls::CTlsChannel::Handshake shaken = opened->handshake(timeoutMs);
    const std::string seen = opened->peerFingerprint();
    if (shaken != tls::CTlsChannel::Handshake::Done) {
        if (shaken == tls::CTlsChannel::Handshake::NotTls &&
            mode == CSecuritySetting::Mode::Preferred) {
            return Outcome::FallBack;
        }
        refuse(shaken == tls::CTlsChannel::Handshake::NotTls
                   ? CLanguage::Tr(QStringLiteral("서버가 보안 연결을 지원하지 않습니다.\n%1"))
                         .arg(text(opened->failure()))
                   : text(opened->failure()),
               parent);
        return Outcome::Refused;
    }
    std::string reason;
    const bool caTrusted = opened->checkPeer("", reason);
    if (Decide(host, port, seen, caTrusted, parent) != Verdict::Trusted) {
        return Outcome::Refused;
    }
    channel = std::move(opened);
    return Outcome::Secure;
}

} // namespace tavik::app
