#include "app/login/CLoginDlg.h"

#include "app/login/AuthResult.h"
#include "app/login/CAuthHandler.h"
#include "app/res/ProgramResources.h"
#include "app/shell/CMessageBox.h"
#include "app/socket/CEndpointWindow.h"
#include "app/socket/CWindowMessage.h"
#include "platform/CWindowEndpoint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace tavik::app {

const QString CLoginDlg::kPasswordNotKeptText =
    QStringLiteral("비밀번호가 %1자보다 길어 저장하지 않았습니다. 다음 접속 때 비밀번호를 다시 "
                   "입력해주십시오.")
        .arg(kMaxStoredPasswordLength);

namespace {

CLoginDlg::LoginStarter& CurrentStarter() {
    static CLoginDlg::LoginStarter starter;
    return starter;
}

QString FromU16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

std::u16string WithoutAt(const std::u16string& domainSuffix) {
    return domainSuffix.starts_with(u'@') ? domainSuffix.substr(1) : domainSuffix;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QString& text, int id) {
    auto* box = new QCheckBox(text, parent);
    box->setAccessibleName(text);
    box->setObjectName(QString::number(id));
    return box;
}

} // namespace

CLoginDlg::CLoginDlg(bool autoLoginAllowed, QWidget* parent)
    : QDialog(parent), autoLoginAllowed_(autoLoginAllowed) {
    setObjectName(QString::number(kResourceId));
    setWindowTitle(kExplorerTitle);
    setAccessibleName(kExplorerTitle);
    BuildControls();
    auto* endpoints = new CEndpointWindow(this);
    endpoints->Bind(platform::CWindowEndpoint::TitleName(kExplorerTitle.toStdU16String()));
    endpoints->SetCloseHandler([this] { QDialog::done(Rejected); });
}

CLoginDlg::~CLoginDlg() = default;

CLoginDlg::LoginStarter CLoginDlg::SetLoginStarter(LoginStarter starter) {
    return std::exchange(CurrentStarter(), std::move(starter));
}

void CLoginDlg::BuildControls() {
    user_ = new QComboBox(this);
    user_->setEditable(true);
    user_->setObjectName(QString::number(IDC_USER));
    user_->setAccessibleName(QStringLiteral("아이디"));
    domain_ = new QComboBox(this);
    domain_->setEditable(true);
    domain_->setObjectName(QString::number(IDC_DOMAIN));
    domain_->setAccessibleName(QStringLiteral("도메인명"));
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setObjectName(QString::number(IDC_PASSWORD));
    password_->setAccessibleName(QStringLiteral("비밀번호"));
    savePassword_ = MakeCheckBox(this, QStringLiteral("비밀번호 저장"), IDC_SAVE_PASSWORD);
    autoLogin_ = MakeCheckBox(this, QStringLiteral("자동 접속"), IDC_AUTO_LOGIN);
    deleteAccount_ = MakeCheckBox(this, QStringLiteral("접속정보 삭제"), IDC_DELETE_ACCOUNT);
    login_ = new QPushButton(QStringLiteral("로그인"), this);
    login_->setObjectName(QString::number(IDC_LOGIN));
    login_->setAccessibleName(login_->text());
    login_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("취소"), this);
    cancel_->setObjectName(QString::number(IDC_CANCEL));
    cancel_->setAccessibleName(cancel_->text());

    auto* grid = new QGridLayout(this);
    int row = 0;
    for (auto [text, field] : {std::pair<QString, QWidget*>{QStringLiteral("아이디"), user_},
                               {QStringLiteral("도메인명"), domain_},
                               {QStringLiteral("비밀번호"), password_}}) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        label->setAccessibleName(text);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, 1, 2);
    }
    grid->addWidget(savePassword_, row, 0);
    grid->addWidget(autoLogin_, row, 1);
    grid->addWidget(deleteAccount_, row++, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(login_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, row, 0, 1, 3);
    adjustSize();

    connect(user_, &QComboBox::activated, this, &CLoginDlg::OnUserChosen);
    // The rules follow every change of a box, not only clicks: the keyboard and assistive
    // tools toggle boxes without clicking them.
    connect(deleteAccount_, &QCheckBox::toggled, this, &CLoginDlg::OnDeleteToggled);
    connect(autoLogin_, &QCheckBox::toggled, this, &CLoginDlg::OnAutoLoginToggled);
    connect(savePassword_, &QCheckBox::toggled, this, &CLoginDlg::OnSavePasswordToggled);
    connect(login_, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    connect(cancel_, &QPushButton::clicked, this, &CLoginDlg::OnCancel);
}

QWidget* CLoginDlg::Control(int controlId) const {
    return findChild<QWidget*>(QString::number(controlId));
}

int CLoginDlg::exec() {
    InitDialog();
    setWindowModality(Qt::ApplicationModal);
    finished_ = false;
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, [this, &loop] {
        finished_ = true;
        loop.quit();
    });
    show();
    if (autoLoginStarted_) {
        OnLogin();
    }
    if (!finished_) {
        loop.exec(QEventLoop::DialogExec);
    }
    return result();
}

void CLoginDlg::InitDialog() {
    const CAccountGlobals& account = CAccountGlobals::Instance();
    FillSavedAccounts();
    user_->setEditText(FromU16(account.userName));
    domain_->setEditText(FromU16(WithoutAt(account.domainSuffix)));
    password_->setText(FromU16(account.password));
    autoLogin_->setChecked(account.autoLogin && autoLoginAllowed_);
    savePassword_->setChecked(account.savePassword);
    deleteAccount_->setChecked(false);

    autoLoginStarted_ = autoLogin_->isChecked();
    if (autoLoginStarted_) {
        // Out of sight while the login runs; put back should it fail.
        savedGeometry_ = geometry();
        move(-10000, -10000);
        lower();
    }
}

void CLoginDlg::FillSavedAccounts() {
    user_->clear();
    domain_->clear();
    domain_->addItem(FromU16(WithoutAt(CAccountStore::DefaultDomainSuffix())));
    accounts_ = CAccountStore().List();
    for (const SavedAccount& account : accounts_) {
        user_->addItem(FromU16(account.userName));
        QString domain = FromU16(account.domain);
        bool listed = false;
        for (int i = 0; i < domain_->count(); ++i) {
            listed = listed || domain_->itemText(i).startsWith(domain);
        }
        if (!listed) {
            domain_->addItem(domain);
        }
    }
}

void CLoginDlg::OnUserChosen(int index) {
    if (index < 0 || index >= static_cast<int>(accounts_.size())) {
        return;
    }
    const SavedAccount& account = accounts_[static_cast<size_t>(index)];
    domain_->setEditText(FromU16(account.domain));
    password_->setText(FromU16(account.password));
    savePassword_->setChecked(true);
}

void CLoginDlg::ApplyRule(const std::function<void()>& rule) {
    // What a rule sets is its result, not a new change for the other rules to answer.
    if (applyingRule_) {
        return;
    }
    applyingRule_ = true;
    rule();
    applyingRule_ = false;
}

void CLoginDlg::OnDeleteToggled(bool checked) {
    if (!checked) {
        return;
    }
    ApplyRule([this] {
        savePassword_->setChecked(false);
        autoLogin_->setChecked(false);
    });
}

void CLoginDlg::OnAutoLoginToggled(bool checked) {
    ApplyRule([this, checked] {
        if (deleteAccount_->isChecked()) {
            autoLogin_->setChecked(!checked);
            return;
        }
        savePassword_->setChecked(true);
    });
}

void CLoginDlg::OnSavePasswordToggled(bool checked) {
    ApplyRule([this, checked] {
        if (autoLogin_->isChecked() || deleteAccount_->isChecked()) {
            savePassword_->setChecked(!checked);
        }
    });
}

LoginFields CLoginDlg::Fields() const {
    LoginFields fields;
    fields.userName = user_->currentText().toStdU16String();
    fields.domain = domain_->currentText().toStdU16String();
    fields.password = password_->text().toStdU16String();
    fields.sessionKey = CAccountGlobals::Instance().sessionKey;
    return fields;
}

void CLoginDlg::OnLogin() {
    LoginFields fields = Fields();
    CAuthHandler* handler =
        CurrentStarter() ? CurrentStarter()(fields, this) : StartLogin(fields, this);
    handler_ = handler;
    if (handler == nullptr && autoLoginStarted_) {
        setGeometry(savedGeometry_);
    }
}

void CLoginDlg::OnCancel() {
    if (CMessageBox::Show(kConfirmExitText, QString(), MB_OKCANCEL | MB_ICONQUESTION, this) ==
        IDOK) {
        QDialog::reject();
    }
}

void CLoginDlg::reject() {
    OnCancel();
}

LRESULT CLoginDlg::windowProc(UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_AUTHRESULT) {
        OnAuthResult(lParam);
    }
    return 0;
}

void CLoginDlg::OnAuthResult(LPARAM result) {
    if (result != kAuthSucceeded) {
        AbandonLogin(handler_, this);
        if (autoLoginStarted_) {
            setGeometry(savedGeometry_);
        }
        return;
    }
    hide();
    CAccountGlobals& account = CAccountGlobals::Instance();
    account.userName = user_->currentText().toStdU16String();
    account.domainSuffix = u"@" + domain_->currentText().toStdU16String();
    account.password = password_->text().toStdU16String();
    account.savePassword = savePassword_->isChecked();
    account.autoLogin = autoLogin_->isChecked();
    account.deleteAccount = deleteAccount_->isChecked();
    QDialog::done(Accepted);
}

bool CLoginDlg::event(QEvent* event) {
    if (CWindowMessage::Dispatch(event, *this)) {
        return true;
    }
    return QDialog::event(event);
}

void CLoginDlg::StoreAccount(const CAccountGlobals& account, bool launchedWithSessionKey,
                             QWidget* parent) {
    if (account.deleteAccount) {
        CAccountStore().Delete(account);
        return;
    }
    SaveAccount(account, launchedWithSessionKey, parent);
}

void CLoginDlg::SaveAccount(const CAccountGlobals& account, bool launchedWithSessionKey,
                            QWidget* parent) {
    if (account.deleteAccount || launchedWithSessionKey) {
        return;
    }
    if (CAccountStore().Save(account) == SaveResult::PasswordNotKept) {
        CMessageBox::Show(kPasswordNotKeptText, QString(), MB_OK | MB_ICONINFORMATION, parent);
    }
}

} // namespace tavik::app
