// The settings dialog (template 130, title "TAVIK - 환경설정"): the tree (1040) with its one
// category "다운로드", "▣ 파일 다운로드 폴더 :" over the read-only path (1018), "폴더선택" (1001)
// which runs the FolderChooserDialog from the current path, "저장" (1031, default) and "적용"
// (1019, enabled once the path differs from the one the dialog opened with), both accepting, and
// "취소" (1032). The caller reads Path() after an accept and stores it.
// Below the folder, our own choice of the interface language (Korean or English), which the
// caller stores and the next start uses; a change enables "적용" as a new path does.
// Then the "보안 연결" choice (CSecuritySetting: on, on with plain for servers without TLS, off),
// which the caller stores and the next connection uses; a change enables "적용" too.
// Threads: user-interface thread.
#pragma once

#include "app/settings/CSecuritySetting.h"
#include "app/shell/CLanguage.h"

#include <QDialog>

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tavik::app {

inline constexpr int IDD_SETTINGS = 130;

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(const QString& path, QWidget* parent);

    QString Path() const { return path_; }
    CLanguage::Language ChosenLanguage() const;
    QComboBox* LanguageCombo() const { return language_; }
    CSecuritySetting::Mode ChosenSecurity() const;
    QComboBox* SecurityCombo() const { return security_; }
    QString OpeningPath() const { return openingPath_; }
    bool ApplyEnabled() const;
    QString ShownPath() const;

    // "폴더선택": the chooser from the current path; its folder when the user accepts it.
    void ChooseFolder();
    // The chooser's folder becomes the current path.
    void OnFolderChosen(const QString& folder);

private:
    QString path_;
    QString openingPath_;
    QTreeWidget* tree_ = nullptr;
    QPlainTextEdit* pathEdit_ = nullptr;
    QPushButton* apply_ = nullptr;
    QComboBox* language_ = nullptr;
    CLanguage::Language openingLanguage_ = CLanguage::Language::Korean;
    QComboBox* security_ = nullptr;
    CSecuritySetting::Mode openingSecurity_ = CSecuritySetting::Mode::Required;
    void UpdateApply();
};

} // namespace tavik::app
