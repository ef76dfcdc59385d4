#include "app/login/StartLogin.h"

#include "app/login/CAuthHandler.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/shell/CMessageBox.h"

#include <QString>
#include <QWidget>

namespace tavik::app {

namespace {

CAuthProgressDlg& progressDialog() {
    CAuthProgressDlg* dialog = CAuthProgressDlg::Global();
    return dialog != nullptr ? *dialog : *CAuthProgressDlg::CreateGlobal();
}

std::u16string fullIdentifier(const LoginFields& fields) {
    std::u16string domain = fields.domain;
    if (domain.starts_with(u'@')) {
        domain.erase(0, 1);
    }
    return fields.userName + u"@" + domain;
}

// Back to the login dialog with a box that says why the login did not start.
void failToStart(QWidget* loginDialog, const QString& text) {
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->StopWatchdog();
        dialog->hide();
    }
    if (loginDialog != nullptr) {
        loginDialog->show();
    }
    CMessageBox::Show(text, QString(), MB_OK | MB_ICONERROR, loginDialog);
}

} // namespace

CAuthHandler* StartLogin(const LoginFields& fields, QWidget* loginDialog, const HostPort& server) {
    CAuthProgressDlg& progress = progressDialog();
    progress.BringForward();
    progress.SetOwnerWindow(loginDialog);
    progress.StartWatchdog();
    if (loginDialog != nullptr) {
        loginDialog->hide();
    }

    // Owned by the login dialog as its child (Qt's ownership), deleted with it or when the
    // login is abandoned.
    auto* handler =
        new CAuthHandler(fullIdentifier(fields), fields.password, fields.sessionKey, loginDialog);
    handler->setParent(loginDialog);
    if (!handler->Create(loginDialog)) {
        handler->deleteLater();
        failToStart(loginDialog, QStringLiteral("SockHandler Initialize 실패."));
        return nullptr;
    }
    progress.SetAuthStep(20);
    if (!handler->Connect(QString::fromStdString(server.host).toStdU16String(), server.port)) {
        handler->deleteLater();
        failToStart(loginDialog, QStringLiteral("연결 실패"));
        return nullptr;
    }
    return handler;
}

void AbandonLogin(QPointer<CAuthHandler>& handler, QWidget* loginDialog) {
    if (handler) {
        handler->deleteLater();
    }
    handler.clear();
    if (CAuthProgressDlg* dialog = CAuthProgressDlg::Global()) {
        dialog->StopWatchdog();
        dialog->hide();
    }
    if (loginDialog != nullptr) {
        loginDialog->show();
    }
}

} // namespace tavik::app
