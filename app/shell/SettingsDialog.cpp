#include "app/shell/SettingsDialog.h"

#include "app/shell/FolderChooserDialog.h"
#include "app/shell/PocketShell.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tavik::app {

namespace {

constexpr int IDC_CHOOSE = 1001;
constexpr int IDC_PATH = 1018;
constexpr int IDC_APPLY = 1019;
constexpr int IDC_SAVE = 1031;
constexpr int IDC_CANCEL = 1032;
constexpr int IDC_TREE = 1040;

QPushButton* MakeButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAccessibleName(text);
    return button;
}

} // namespace

SettingsDialog::SettingsDialog(const QString& path, QWidget* parent)
    : QDialog(parent), path_(path), openingPath_(path) {
    setObjectName(QString::number(IDD_SETTINGS));
    setWindowTitle(kSettingsTitle);
    setAccessibleName(kSettingsTitle);
    HideTitleBarOkButton(this);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QString::number(IDC_TREE));
    tree_->setAccessibleName(QStringLiteral("설정 항목"));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);
    auto* download = new QTreeWidgetItem(tree_, {CLanguage::Tr(QStringLiteral("다운로드"))});
    tree_->setCurrentItem(download);
    tree_->setMaximumWidth(110);

    auto* label = new QLabel(QStringLiteral("▣ 파일 다운로드 폴더 :"), this);
    label->setAccessibleName(QStringLiteral("파일 다운로드 폴더"));
    pathEdit_ = new QPlainTextEdit(path_, this);
    pathEdit_->setObjectName(QString::number(IDC_PATH));
    pathEdit_->setAccessibleName(QStringLiteral("다운로드 폴더 경로"));
    pathEdit_->setReadOnly(true);
    pathEdit_->setMaximumHeight(64);
    auto* choose = MakeButton(QStringLiteral("폴더선택"), IDC_CHOOSE, this);
    auto* save = MakeButton(QStringLiteral("저장"), IDC_SAVE, this);
    save->setDefault(true);
    apply_ = MakeButton(QStringLiteral("적용"), IDC_APPLY, this);
    apply_->setEnabled(false);
    auto* cancel = MakeButton(QStringLiteral("취소"), IDC_CANCEL, this);

    auto* languageLabel = new QLabel(QStringLiteral("▣ 언어 (다시 시작하면 바뀝니다) :"), this);
    language_ = new QComboBox(this);
    language_->setAccessibleName(QStringLiteral("언어"));
    language_->addItem(QStringLiteral("한국어"), QStringLiteral("ko"));
    language_->addItem(QStringLiteral("English"), QStringLiteral("en"));
    openingLanguage_ = CLanguage::Stored();
    language_->setCurrentIndex(openingLanguage_ == CLanguage::Language::English ? 1 : 0);
    languageLabel->setBuddy(language_);

    auto* securityLabel = new QLabel(QStringLiteral("▣ 보안 연결 :"), this);
    security_ = new QComboBox(this);
    security_->setAccessibleName(QStringLiteral("보안 연결"));
    security_->addItem(QStringLiteral("사용"), static_cast<int>(CSecuritySetting::Mode::Required));
    security_->addItem(QStringLiteral("사용 (지원하지 않는 서버는 일반 연결)"),
                       static_cast<int>(CSecuritySetting::Mode::Preferred));
    security_->addItem(QStringLiteral("사용 안 함"), static_cast<int>(CSecuritySetting::Mode::Off));
    openingSecurity_ = CSecuritySetting::Stored();
    security_->setCurrentIndex(security_->findData(static_cast<int>(openingSecurity_)));
    securityLabel->setBuddy(security_);

    auto* page = new QVBoxLayout();
    page->addWidget(label);
    page->addWidget(pathEdit_);
    auto* chooseRow = new QHBoxLayout();
    chooseRow->addStretch(1);
    chooseRow->addWidget(choose);
    page->addLayout(chooseRow);
    page->addWidget(languageLabel);
    page->addWidget(language_);
    page->addWidget(securityLabel);
    page->addWidget(security_);
    page->addStretch(1);
    auto* body = new QHBoxLayout();
    body->addWidget(tree_);
    body->addLayout(page, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(apply_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    resize(380, 260);

    connect(choose, &QPushButton::clicked, this, &SettingsDialog::ChooseFolder);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
    connect(apply_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(language_, &QComboBox::currentIndexChanged, this, &SettingsDialog::UpdateApply);
    connect(security_, &QComboBox::currentIndexChanged, this, &SettingsDialog::UpdateApply);
}

CSecuritySetting::Mode SettingsDialog::ChosenSecurity() const {
    return static_cast<CSecuritySetting::Mode>(security_->currentData().toInt());
}

CLanguage::Language SettingsDialog::ChosenLanguage() const {
    return language_->currentData().toString() == QStringLiteral("en")
               ? CLanguage::Language::English
               : CLanguage::Language::Korean;
}

void SettingsDialog::UpdateApply() {
    apply_->setEnabled(path_ != openingPath_ || ChosenLanguage() != openingLanguage_ ||
                       ChosenSecurity() != openingSecurity_);
}

bool SettingsDialog::ApplyEnabled() const {
    return apply_->isEnabled();
}

QString SettingsDialog::ShownPath() const {
    return pathEdit_->toPlainText();
}

void SettingsDialog::ChooseFolder() {
    FolderChooserDialog chooser(path_, this);
    if (chooser.exec() == QDialog::Accepted) {
        OnFolderChosen(chooser.CurrentFolder());
    }
}

void SettingsDialog::OnFolderChosen(const QString& folder) {
    path_ = folder;
    if (path_ != openingPath_) {
        apply_->setEnabled(true);
    }
    pathEdit_->setPlainText(path_);
}

} // namespace tavik::app
