#include "tests/app_login/LoginHarness.h"

#include "app/settings/CSecuritySetting.h"

#include "app/login/AuthResult.h"
#include "app/login/CAuthProgressDlg.h"
#include "app/socket/CWindowMessage.h"

#include "tests/support/CFakeDiskServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QPushButton>

#include <cstdlib>

namespace tavik::test {

namespace {

uint32_t bigEndianAt(const Bytes& bytes, size_t offset) {
    return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
           (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

uint32_t littleEndianAt(const Bytes& bytes, size_t offset) {
    return uint32_t{bytes[offset]} | (uint32_t{bytes[offset + 1]} << 8) |
           (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

// Appends count bytes read from the socket.
bool readMore(int socket, Bytes& frame, size_t count, std::string& why, int timeoutMs) {
    if (count > (1u << 20)) {
        why = "announced length " + std::to_string(count) + " is absurd";
        return false;
    }
    size_t held = frame.size();
    frame.resize(held + count);
    if (!CFakeDiskServer::recvExactly(socket, frame.data() + held, count, timeoutMs)) {
        why = "no whole frame from the client";
        return false;
    }
    return true;
}

QLineEdit* makeField(QWidget* parent, const QString& name, const QString& text) {
    auto* field = new QLineEdit(text, parent);
    field->setAccessibleName(name);
    return field;
}

} // namespace

bool readServiceFrame(int socket, Bytes& frame, std::string& why, int timeoutMs) {
    frame.clear();
    if (!readMore(socket, frame, 12, why, timeoutMs) ||
        !readMore(socket, frame, bigEndianAt(frame, 8) + 4, why, timeoutMs)) {
        return false;
    }
    return readMore(socket, frame, bigEndianAt(frame, frame.size() - 4), why, timeoutMs);
}

bool readDiskInfoFrame(int socket, Bytes& frame, std::string& why, int timeoutMs) {
    frame.clear();
    if (!readMore(socket, frame, 8, why, timeoutMs)) {
        return false;
    }
    uint32_t total = littleEndianAt(frame, 0);
    if (total < 8) {
        why = "total length below 8";
        return false;
    }
    return readMore(socket, frame, total - 8, why, timeoutMs);
}

bool waitFor(const std::function<bool()>& done, int boundMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > boundMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settleEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// The login dialog's reaction to the outcome: success hides the form, failure drops the handler
// and brings the form back.
class CTestLoginForm::MessageMap : public CWindow {
public:
    explicit MessageMap(CTestLoginForm& form) : form_(form) {}

    LRESULT windowProc(UINT msg, WPARAM, LPARAM lParam) override {
        if (msg != app::WM_AUTHRESULT) {
            return 0;
        }
        form_.results.push_back(lParam);
        if (lParam == app::kAuthSucceeded) {
            form_.hide();
        } else {
            app::AbandonLogin(form_.handler, &form_);
        }
        return 0;
    }

private:
    CTestLoginForm& form_;
};

CTestLoginForm::CTestLoginForm() : map_(std::make_unique<MessageMap>(*this)) {
    setWindowTitle(QStringLiteral("TAVIK 탐색기"));
    setAccessibleName(QStringLiteral("TAVIK 탐색기"));
    userName = makeField(this, QStringLiteral("아이디"), QStringLiteral("demo"));
    domain = makeField(this, QStringLiteral("도메인명"), QStringLiteral("tavik.local"));
    password = makeField(this, QStringLiteral("비밀번호"), QString());
    password->setEchoMode(QLineEdit::Password);
    auto* login = new QPushButton(QStringLiteral("로그인"), this);
    login->setAccessibleName(QStringLiteral("로그인"));
    connect(login, &QPushButton::clicked, this, [this] { Login(server_); });
    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("아이디"), userName);
    layout->addRow(QStringLiteral("도메인명"), domain);
    layout->addRow(QStringLiteral("비밀번호"), password);
    layout->addRow(login);
}

CTestLoginForm::~CTestLoginForm() = default;

bool CTestLoginForm::Login(const app::HostPort& server, const std::u16string& sessionKey) {
    server_ = server;
    app::LoginFields fields{userName->text().toStdU16String(), domain->text().toStdU16String(),
                            password->text().toStdU16String(), sessionKey};
    handler = app::StartLogin(fields, this, server);
    return handler != nullptr;
}

bool CTestLoginForm::event(QEvent* event) {
    if (app::CWindowMessage::Dispatch(event, *map_)) {
        return true;
    }
    return QWidget::event(event);
}

void LoginTest::SetUp() {
    folder_ = std::make_unique<CTempFolder>();
    ASSERT_FALSE(folder_->path().empty());
    ::setenv("TAVIK_REGISTRY", folder_->file("registry.db").c_str(), 1);
    ::setenv("TAVIK_DEVICE_ROOT", folder_->path().c_str(), 1);
    // The list of known servers lives in the test's folder, never in the user's own.
    ::setenv("XDG_CONFIG_HOME", folder_->file("config").c_str(), 1);
    // The scripted peers speak the plain protocol: the tests of secure connections choose
    // their setting row by row.
    ASSERT_TRUE(app::CSecuritySetting::Store(app::CSecuritySetting::Mode::Off));
    boxes_ = std::make_unique<app::CMessageBox::Recorder>();
}

void LoginTest::TearDown() {
    app::CAuthProgressDlg::DestroyGlobal();
    settleEvents();
    boxes_.reset();
    folder_.reset();
}

void LoginTest::ResetForNextRow() {
    app::CAuthProgressDlg::DestroyGlobal();
    settleEvents();
    boxes_.reset();
    boxes_ = std::make_unique<app::CMessageBox::Recorder>();
}

QStringList LoginTest::BoxTexts() const {
    QStringList texts;
    for (const app::MessageBoxRequest& box : boxes_->Boxes()) {
        texts << box.text;
    }
    return texts;
}

} // namespace tavik::test
