// The link to the separate updater program. At start-up Init reads the update channel from
// root/bin/update.ini (or, where bin/ holds programs only, as in an installed prefix, from
// root/share/tavik/update.ini), closes running updaters, installs a newly downloaded updater and
// either hands over to the updater at once (an update postponed earlier) or creates a hidden window
// and starts the updater in the background with that window's handle ("/H:%d /T:0"). The
// updater later posts message 3026 with wParam 1000 to that window when updates are ready; the
// user then chooses between updating now (the program's windows close and the updater starts)
// and at the next start (the marker root/update/newstart.txt).
//
// Folders: the program folder is the folder of the executable, the root its parent. The hidden
// window and the updater's window are endpoints of other processes (CEndpointWindow): the
// hidden window's class is channel + "_UpdateMgr", the updater's "WCE_" + channel + "_Updrona".
//
// Failures to start the updater, to move files or to write the marker are not reported to the
// user (the program goes on without the updater). Threads: user-interface thread.
#pragma once

#include "app/socket/CMessageWindow.h"

#include <string>

namespace tavik::app {

class CEndpointWindow;

class CUpdateMgr : public CMessageWindow {
    Q_OBJECT
public:
    static constexpr UINT WM_UPDATE_NOTICE = 3026; // WM_USER + 2002
    static constexpr WPARAM kUpdatesReady = 1000;

    enum InitResult { kInitFailed = 0, kInitContinue = 1, kInitUpdaterStarted = 2 };

    CUpdateMgr();
    ~CUpdateMgr() override;

    // The start-up check for the program at executablePath (a host path).
    InitResult Init(const std::string& executablePath);

    // Starts root/bin/Updrona.exe, first replacing it by UpdronaNew.exe if that exists; with
    // the handle its arguments are "/H:<handle> /T:0", without it none. False when it could
    // not be started.
    bool StartUpdater(bool withHandle);

    // Deletes oldPath if present, creates its folder if missing and moves newPath there.
    static bool ReplaceFile(const std::string& newPath, const std::string& oldPath);
    // The value of key in section of an ini file read as ANSI text: lines are trimmed, a
    // section starts at "[name]", an entry is key=value with the key compared exactly (no
    // blanks before "="). False when the file, the section or the key is missing.
    static bool ReadIniValue(const std::u16string& section, const std::u16string& key,
                             std::u16string& value, const std::string& iniPath);

    const std::string& Root() const { return root_; }
    const std::u16string& WindowClassName() const { return className_; }
    const std::u16string& UpdaterClassName() const { return updaterClassName_; }
    bool IsCreated() const { return created_; }
    // The hidden window's handle as the updater sees it (0 until created).
    int Handle() const { return handle_; }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Box texts.
    static const QString kCaption;
    static const QString kInitFailedText;
    static const QString kOfferText;
    // The marker's content ("newstart = 1", 12 bytes, no line end).
    static const std::string kMarkerContent;

private:
    std::string BinFolder() const { return root_ + "/bin"; }
    std::string MarkerPath() const { return root_ + "/update/newstart.txt"; }
    // update.ini beside the program when it is there, else in the prefix's data folder.
    std::string SettingsPath() const;
    void CloseRunningUpdaters();
    bool CreateHiddenWindow();
    void OnUpdateOffer();
    void WriteMarker();

    std::string root_;
    std::u16string className_;
    std::u16string updaterClassName_;
    bool created_ = false;
    int handle_ = 0;
    CEndpointWindow* endpoints_ = nullptr; // child of this object
};

} // namespace tavik::app
