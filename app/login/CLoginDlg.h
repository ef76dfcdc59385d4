// The login dialog (resource 131, caption "TAVIK 탐색기", modal): user name and domain (combo
// boxes with the saved accounts), password, the check boxes "비밀번호 저장", "자동 접속" and
// "접속정보 삭제", and the buttons "로그인" and "취소".
//
// exec() fills the fields from the account globals and the saved accounts and shows the dialog.
// With automatic login (the global flag, and allowed by whoever opens the dialog) the dialog is
// moved out of sight and the login starts at once. The login's outcome arrives as
// WM_AUTHRESULT: 1 stores the fields in the account globals and ends the dialog with Accepted;
// 0 abandons the login and shows the dialog again (at its saved place after an automatic login).
// "취소" (also Escape and the window's close button) asks "TAVIK 탐색기를 종료 하시겠습니까?" and
// ends the dialog with Rejected on OK; a WM_CLOSE from another program (the updater) ends it
// with Rejected at once.
//
// The dialog runs its own event loop rather than QDialog's: the login hides the dialog while
// it runs, which would end QDialog::exec.
// Ownership: owns the running login's CAuthHandler (as its child). Threads: user-interface.
#pragma once

#include "app/login/StartLogin.h"
#include "app/settings/CAccountGlobals.h"
#include "app/settings/CAccountStore.h"
#include "sdk/include/TavikWindow.h"

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tavik::app {

class CAuthHandler;

class CLoginDlg : public QDialog, public CWindow {
    Q_OBJECT
public:
    static constexpr int kResourceId = 131;
    // Control identifiers of the dialog resource.
    static constexpr int IDC_USER = 1015;
    static constexpr int IDC_DOMAIN = 1016;
    static constexpr int IDC_PASSWORD = 1017;
    static constexpr int IDC_SAVE_PASSWORD = 1012;
    static constexpr int IDC_AUTO_LOGIN = 1013;
    static constexpr int IDC_DELETE_ACCOUNT = 1014;
    static constexpr int IDC_LOGIN = 1034;
    static constexpr int IDC_CANCEL = 1041;

    CLoginDlg(bool autoLoginAllowed, QWidget* parent = nullptr);
    ~CLoginDlg() override;

    int exec() override;

    // What starts a login; StartLogin unless a test installs another (empty: StartLogin).
    // Returns the one it replaces.
    using LoginStarter = std::function<CAuthHandler*(const LoginFields&, QWidget* dialog)>;
    static LoginStarter SetLoginStarter(LoginStarter starter);

    // Told when a password too long for the store was not saved with its account.
    static const QString kPasswordNotKeptText;

    // After the login at start-up: deletes the account when "접속정보 삭제" was ticked, else
    // saves it (SaveAccount).
    static void StoreAccount(const CAccountGlobals& account, bool launchedWithSessionKey,
                             QWidget* parent = nullptr);
    // After a later login ("로그인" again): saves the account unless "접속정보 삭제" was ticked
    // or the program was launched with a session key (which has no password to save); nothing
    // is deleted here. A password the store cannot hold is reported with kPasswordNotKeptText.
    static void SaveAccount(const CAccountGlobals& account, bool launchedWithSessionKey,
                            QWidget* parent = nullptr);

    // The control with a resource identifier (IDC_*), null for an unknown one.
    QWidget* Control(int controlId) const;
    QComboBox* UserCombo() const { return user_; }
    QComboBox* DomainCombo() const { return domain_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* SavePasswordBox() const { return savePassword_; }
    QCheckBox* AutoLoginBox() const { return autoLogin_; }
    QCheckBox* DeleteAccountBox() const { return deleteAccount_; }
    bool AutoLoginStarted() const { return autoLoginStarted_; }

    void OnLogin();
    void OnCancel();

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

protected:
    bool event(QEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    void InitDialog();
    void FillSavedAccounts();
    void OnUserChosen(int index);
    // The check-box rules, run on every change of a box.
    void ApplyRule(const std::function<void()>& rule);
    void OnDeleteToggled(bool checked);
    void OnAutoLoginToggled(bool checked);
    void OnSavePasswordToggled(bool checked);
    LoginFields Fields() const;
    void OnAuthResult(LPARAM result);

    bool autoLoginAllowed_;
    bool autoLoginStarted_ = false;
    bool finished_ = false;
    bool applyingRule_ = false;
    QRect savedGeometry_;
    QPointer<CAuthHandler> handler_;
    std::vector<SavedAccount> accounts_;

    QComboBox* user_ = nullptr;
    QComboBox* domain_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* savePassword_ = nullptr;
    QCheckBox* autoLogin_ = nullptr;
    QCheckBox* deleteAccount_ = nullptr;
    QPushButton* login_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace tavik::app
