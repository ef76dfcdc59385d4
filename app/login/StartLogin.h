// Starting and abandoning a login, for the login dialog.
//
//   StartLogin: brings the global progress dialog forward (creating it when there is none),
//   makes the login dialog its owner and starts its watchdog, hides the login dialog, and
//   connects a new CAuthHandler for "user@domain" to the authentication server. The login then
//   runs on events; its outcome arrives at the login dialog as WM_AUTHRESULT (AuthResult.h), so
//   the dialog's event() must hand window messages to its message map (CWindowMessage::Dispatch).
//   When the login cannot start, the progress dialog is hidden, the login dialog shown again and
//   a box says why: "SockHandler Initialize 실패." (the handler's window), or "연결 실패" after
//   the socket layer's own "연결 실패!" (the connect could not start).
//
//   AbandonLogin: the login dialog's reaction to WM_AUTHRESULT 0: drops the handler (later: it
//   may be the sender), stops the watchdog, hides the progress dialog, shows the dialog again.
//
// Threads: user-interface thread.
#pragma once

#include "app/settings/ProgramConstants.h"

#include <QPointer>

#include <string>

class QWidget;

namespace tavik::app {

class CAuthHandler;

struct LoginFields {
    std::u16string userName;
    // As typed or chosen, without "@".
    std::u16string domain;
    // Empty when a session key is used.
    std::u16string password;
    // From the launch parameters; usually empty.
    std::u16string sessionKey;
};

// The handler of the running login, a child of loginDialog (which owns it from then on; without
// a login dialog the caller owns it), or null when the login could not start. server: the
// authentication server (the program's constant unless a caller names another).
CAuthHandler* StartLogin(const LoginFields& fields, QWidget* loginDialog,
                         const HostPort& server = ProgramConstants().authServer);

// handler may be null; it is cleared.
void AbandonLogin(QPointer<CAuthHandler>& handler, QWidget* loginDialog);

} // namespace tavik::app
