// The explorer's command ids, pop-up menu ids and window message numbers, kept as the program has
// always numbered them (menus, tool bar and other programs' notices rely on them).
#pragma once

#include "app/res/ProgramResources.h"

namespace tavik::app {

// Commands the view handles (with ID_REFRESH 32790 "새로고침", ID_NEW_FOLDER 32795
// "새 폴더 만들기" and ID_DELETE 32796 "삭제하기" of the program's resources).
inline constexpr int ID_UPLOAD = 32792;     // "업로드 하기"
inline constexpr int ID_DOWNLOAD = 32793;   // "다운로드 하기"
inline constexpr int ID_SELECT_ALL = 32797; // "모두 선택 하기"
inline constexpr int ID_RENAME = 32829;     // "이름 바꾸기"
inline constexpr int ID_CONNECT = 32815;    // "연결", "연결하기"
inline constexpr int ID_DISCONNECT = 32789; // "연결끊기"
inline constexpr int ID_TEST_COUNT = 32781; // "테스트"
// Our own: the check item that shows or hides dot files in My Device.
inline constexpr int ID_SHOW_HIDDEN_FILES = 32850;

// Pop-up menu ids of the lists (translated to the commands above by the list).
inline constexpr int ID_POPUP_REFRESH = 32784;
inline constexpr int ID_POPUP_SELECT_ALL = 32786;
inline constexpr int ID_POPUP_REMOTE_DELETE = 32787;
inline constexpr int ID_POPUP_REMOTE_DOWNLOAD = 32788;
inline constexpr int ID_POPUP_LOCAL_UPLOAD = 32791;
inline constexpr int ID_POPUP_LOCAL_DELETE = 32792;

// Sort keys of the sort menu.
inline constexpr int ID_SORT_NAME = 32773;
inline constexpr int ID_SORT_DATE = 32774;
inline constexpr int ID_SORT_SIZE = 32775;
inline constexpr int ID_SORT_TYPE = 32776;

// Control ids of the view's form.
inline constexpr int IDC_REMOTE_LIST = 1002;
inline constexpr int IDC_CONNECT = 1003;
inline constexpr int IDC_UPLOAD = 1004;
inline constexpr int IDC_DOWNLOAD = 1005;
inline constexpr int IDC_LOCAL_LIST = 1006;
inline constexpr int IDC_DISCONNECT = 1007;
inline constexpr int IDC_REMOTE_PATHBAR = 1013;
inline constexpr int IDC_LOCAL_PATHBAR = 1014;
inline constexpr int IDC_PATH_BUTTON = 50002;
inline constexpr int IDC_SORT_BUTTON = 50003;

// Path menu ids: 4000 + i on the remote bar, 5000 + i on the local bar.
inline constexpr int kRemotePathMenuBase = 4000;
inline constexpr int kLocalPathMenuBase = 5000;

// Window messages, sent (never posted) to the main frame, which hands them to the view.
inline constexpr unsigned WM_PATHBAR_ADD_LOCAL = 0x07E8;
inline constexpr unsigned WM_LOCAL_PATH_CHOSEN = 0x07E9;
inline constexpr unsigned WM_LOCAL_SORT = 0x07EA;
inline constexpr unsigned WM_PATHBAR_ADD_REMOTE = 0x07F3;
inline constexpr unsigned WM_REMOTE_PATH_CHOSEN = 0x07F4;
inline constexpr unsigned WM_REMOTE_SORT = 0x07F5;
// The library's progress notices of a transfer, and the progress dialog's end notice.
inline constexpr unsigned WM_UPLOAD_PROGRESS = 0x081A;
inline constexpr unsigned WM_DOWNLOAD_PROGRESS = 0x081B;
inline constexpr unsigned WM_TRANSFER_DIALOG_GONE = 0x081C;
// The same notices of a transfer with 64-bit positions (lParam: a TAVIK_PROGRESS64), used when
// the server agreed on them.
inline constexpr unsigned WM_UPLOAD_PROGRESS64 = 0x0830;
inline constexpr unsigned WM_DOWNLOAD_PROGRESS64 = 0x0831;

// What a sort button sends (lParam of WM_LOCAL_SORT / WM_REMOTE_SORT).
struct SortRequest {
    int numeric = 0;   // 1: the numeric sort
    int ascending = 1; // always 1
    int column = 0;    // 0 to 3
};

} // namespace tavik::app
