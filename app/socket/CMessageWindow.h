// A window without a screen presence: a QObject whose message map is windowProc. The socket
// layer's "SockHandler" and every later hidden window derive from it; windows that are widgets
// instead derive from CWindow and call CWindowMessage::Dispatch in their event() override.
//
// The window belongs to the thread that creates it (Qt's thread affinity); its messages are
// handled there. It is also a CWindow, so its address serves as an HWND for the library.
// Ownership: the creator owns the object; the owner window given at construction is remembered
// (and found again by name and control id), never used to delete it.
#pragma once

#include "app/socket/CWindowMessage.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace tavik::app {

class CMessageWindow : public QObject, public CWindow {
    Q_OBJECT
public:
    explicit CMessageWindow(QObject* owner = nullptr);
    ~CMessageWindow() override;

    // The window's name and control identifier (found by them, as a child window is).
    void SetIdentity(const QString& name, int controlId);
    int ControlId() const { return controlId_; }
    QObject* Owner() const { return owner_.data(); }
    void SetOwner(QObject* owner) { owner_ = owner; }

    // The message map: the default handles nothing and answers 0.
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Drops the messages posted to this window and not handled yet.
    void DiscardPostedMessages();

protected:
    bool event(QEvent* event) override;

private:
    QPointer<QObject> owner_;
    int controlId_ = 0;
};

} // namespace tavik::app
