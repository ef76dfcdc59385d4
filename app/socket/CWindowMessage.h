// Window messages inside the program. A window message is a QEvent whose type is the message
// number itself; every message of the program lies in Qt's user range (1000 to 65535), so the
// program's message numbers are used unchanged. A window is any QObject whose event() hands these
// events to its message map (CMessageWindow for hidden windows; a widget calls Dispatch from its
// own event() override).
//
// Threads: Post may be called from any thread. Send runs the message map at once when called on
// the window's thread; from another thread it blocks until the window's thread has handled the
// message (so that thread must run an event loop), and answers 0 when the window is destroyed
// before it could. A message number outside the user range is refused (Post false, Send 0).
#pragma once

#include "sdk/include/TavikWindow.h"

#include <QEvent>
#include <QObject>

namespace tavik::app {

class CWindowMessage : public QEvent {
public:
    CWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT message() const { return static_cast<UINT>(type()); }
    WPARAM wParam() const { return wParam_; }
    LPARAM lParam() const { return lParam_; }

    // True for numbers a window message can carry.
    static bool IsValidNumber(UINT msg);
    // PostMessage: queues the message for the window's thread; false for a null window or a
    // number outside the user range.
    static bool Post(QObject* window, UINT msg, WPARAM wParam, LPARAM lParam);
    // SendMessage: the message map's result (see the threading rule above).
    static LRESULT Send(QObject* window, UINT msg, WPARAM wParam, LPARAM lParam);
    // For event() overrides: when the event is a window message, runs map.windowProc and
    // returns true; otherwise false and the caller passes the event on.
    static bool Dispatch(QEvent* event, CWindow& map);

private:
    WPARAM wParam_;
    LPARAM lParam_;
    LRESULT result_ = 0;
};

} // namespace tavik::app
