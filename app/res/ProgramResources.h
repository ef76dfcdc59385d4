// The program's resources as named constants: command ids, control ids, resource ids and the
// fixed texts that more than one class shows. The numbers are the handheld program's own, so
// that messages and commands keep their meaning across the code.
#pragma once

#include "sdk/include/TavikTypes.h"

#include <QString>

namespace tavik::app {

// Window titles and captions.
inline const QString kExplorerTitle = QStringLiteral("TAVIK 탐색기");
inline const QString kConfirmExitText = QStringLiteral("TAVIK 탐색기를 종료 하시겠습니까?");

// Menu and tool-bar resources.
inline constexpr int IDR_MAINFRAME = 127; // menu, icon and document template
inline constexpr int IDR_TOOLBAR = 128;
inline constexpr int IDR_TRAY_MENU = 179;
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_LOGIN = 131;

// Commands.
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_LOGIN = 32786;
inline constexpr int ID_LOGIN_AS_ANOTHER = 32787;
inline constexpr int ID_LOGOUT = 32788;
inline constexpr int ID_REFRESH = 32790;
inline constexpr int ID_SETTINGS = 32791;
inline constexpr int ID_OPEN_DOWNLOAD_FOLDER = 32794;
inline constexpr int ID_NEW_FOLDER = 32795;
inline constexpr int ID_DELETE = 32796;
inline constexpr int ID_TRAY_OPEN = 32802;

// Window messages.
inline constexpr UINT WM_TRAY_CALLBACK = 32770; // 0x8002
inline constexpr UINT kWmLButtonDown = 0x0201;
inline constexpr UINT kWmLButtonDblClk = 0x0203;
inline constexpr UINT kWmRButtonDown = 0x0204;
inline constexpr UINT kWmMButtonDown = 0x0207;

// The tray icon's identifier.
inline constexpr UINT kTrayIconId = 10000;

} // namespace tavik::app
