#include "app/shell/CTrayIcon2.h"

#include "app/res/ProgramResources.h"
#include "app/socket/CWindowMessage.h"

namespace tavik::app {

namespace {

UINT MouseMessageOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return kWmLButtonDown;
    case QSystemTrayIcon::DoubleClick:
        return kWmLButtonDblClk;
    case QSystemTrayIcon::MiddleClick:
        return kWmMButtonDown;
    case QSystemTrayIcon::Context:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return kWmRButtonDown;
}

} // namespace

CTrayIcon2::CTrayIcon2(UINT id, QObject* parent) : QObject(parent), id_(id) {}

CTrayIcon2::~CTrayIcon2() {
    Remove();
}

void CTrayIcon2::SetNotificationTarget(QObject* owner, UINT callbackMessage) {
    owner_ = owner;
    callbackMessage_ = callbackMessage;
}

bool CTrayIcon2::SetIcon(const QIcon& icon, const QString& tooltip) {
    if (icon.isNull()) {
        Remove();
        return true;
    }
    if (shown_) {
        ++modifies_;
    } else {
        ++adds_;
        shown_ = true;
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            platformIcon_ = new QSystemTrayIcon(this);
            connect(platformIcon_, &QSystemTrayIcon::activated, this, &CTrayIcon2::Activate);
        }
    }
    if (platformIcon_ != nullptr) {
        platformIcon_->setIcon(icon);
        platformIcon_->setToolTip(tooltip);
        platformIcon_->show();
    }
    return true;
}

void CTrayIcon2::Remove() {
    if (!shown_) {
        return;
    }
    shown_ = false;
    if (platformIcon_ != nullptr) {
        platformIcon_->hide();
        delete platformIcon_;
        platformIcon_ = nullptr;
    }
}

void CTrayIcon2::Activate(QSystemTrayIcon::ActivationReason reason) {
    if (owner_ == nullptr || callbackMessage_ == 0) {
        return;
    }
    CWindowMessage::Send(owner_, callbackMessage_, id_,
                         static_cast<LPARAM>(MouseMessageOf(reason)));
}

} // namespace tavik::app
