// The notification-area icon through which the user brings the explorer back or quits.
//
// The first SetIcon adds the icon, later ones modify it, SetIcon with a null icon (or Remove,
// or the destructor) takes it away. Mouse activity on the icon reaches the notification target
// as the callback message, wParam the icon's id and lParam the mouse message (WM_LBUTTONDOWN for
// a left press, WM_RBUTTONDOWN for the context request, WM_LBUTTONDBLCLK, WM_MBUTTONDOWN).
//
// Where the desktop has no notification area (offscreen, a bare X server) the icon keeps its
// state (IsShown) but nothing is drawn, and the program runs without it.
// Ownership: the owner (the main frame) owns this object. Threads: user-interface thread.
#pragma once

#include "sdk/include/TavikTypes.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

namespace tavik::app {

class CTrayIcon2 : public QObject {
    Q_OBJECT
public:
    explicit CTrayIcon2(UINT id, QObject* parent = nullptr);
    ~CTrayIcon2() override;

    void SetNotificationTarget(QObject* owner, UINT callbackMessage);
    // Adds or modifies the icon; a null icon removes it. Always true: a missing notification
    // area is not a failure of the program.
    bool SetIcon(const QIcon& icon, const QString& tooltip = QString());
    void Remove();

    UINT Id() const { return id_; }
    bool IsShown() const { return shown_; }
    // How often the icon was added and modified, for the checks of its life cycle.
    int AddCount() const { return adds_; }
    int ModifyCount() const { return modifies_; }
    // The platform's icon, null when the desktop has no notification area.
    QSystemTrayIcon* PlatformIcon() const { return platformIcon_; }

    // Hands an activation of the platform's icon to the target as the callback message.
    void Activate(QSystemTrayIcon::ActivationReason reason);

private:
    UINT id_;
    QPointer<QObject> owner_;
    UINT callbackMessage_ = 0;
    bool shown_ = false;
    int adds_ = 0;
    int modifies_ = 0;
    QSystemTrayIcon* platformIcon_ = nullptr; // child of this object
};

} // namespace tavik::app
