// What the login tests share: the scripted peer's readers of whole frames, a minimal login form
// that stands in for the login dialog (it starts the login and reacts to WM_AUTHRESULT as the
// dialog does), bounded waiting on the event loop, and a per-test environment (own registry
// file and device root, boxes answered and recorded, no progress dialog left behind).
#pragma once

#include "tests/app_login/LoginWire.h"

#include "app/login/CAuthHandler.h"
#include "app/login/StartLogin.h"
#include "app/shell/CMessageBox.h"

#include "tests/support/CTempFolder.h"

#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavik::test {

// Receives one whole service frame (magic, lengths, header, body) within the time-out.
bool readServiceFrame(int socket, Bytes& frame, std::string& why, int timeoutMs = 5000);
// Receives one whole binary disk-information frame (T, N, text) within the time-out.
bool readDiskInfoFrame(int socket, Bytes& frame, std::string& why, int timeoutMs = 5000);

// Runs the event loop until done() or the bound (a safety net, not a measured limit) passes.
bool waitFor(const std::function<bool()>& done, int boundMs = 30000);
// Lets deleteLater() and posted events run.
void settleEvents();

// The four login fields and a "로그인" button; the result window of its logins.
class CTestLoginForm : public QWidget {
public:
    CTestLoginForm();
    ~CTestLoginForm() override;

    // Starts a login with the fields against the given server.
    bool Login(const app::HostPort& server, const std::u16string& sessionKey = {});

    std::vector<LPARAM> results;
    QPointer<app::CAuthHandler> handler;
    QLineEdit* userName;
    QLineEdit* domain;
    QLineEdit* password;

protected:
    bool event(QEvent* event) override;

private:
    class MessageMap;
    std::unique_ptr<MessageMap> map_;
    app::HostPort server_;
};

// Per test: a temporary folder for TAVIK_REGISTRY and TAVIK_DEVICE_ROOT, every box answered with
// OK and recorded, and the global progress dialog destroyed at the end.
class LoginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QStringList BoxTexts() const;
    // Between the rows of a data-driven test: no progress dialog, no boxes recorded.
    void ResetForNextRow();

    std::unique_ptr<CTempFolder> folder_;
    std::unique_ptr<app::CMessageBox::Recorder> boxes_;
};

} // namespace tavik::test
