// Watches one get or put: answers the library's per-file confirmation through the prompt, keeps
// the account of every file, and draws the progress bar from the library's progress messages.
// It is the window the transfer notifies, so each notice reaches this object directly. The
// confirmation callback carries no pointer, so the monitor in charge is a process-wide one; one
// transfer runs at a time.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/core/CConfirmPrompt.h"
#include "cli/core/CProgressBar.h"
#include "cli/core/CTransferLog.h"

#include <TavikSDK.h>
#include <TavikWindow.h>

#include <memory>
#include <string>

namespace tavik::cli {

class CTransferMonitor : public CWindow {
public:
    // The message number of progress notices (the one the explorer uses for downloads).
    static constexpr UINT kProgressMessage = 2075;

    CTransferMonitor(CConsole& console, ExistingPolicy policy);
    ~CTransferMonitor() override;
    CTransferMonitor(const CTransferMonitor&) = delete;
    CTransferMonitor& operator=(const CTransferMonitor&) = delete;

    // Points the record's confirmation and notification fields at this monitor.
    void attach(TAVIK_TRANSFER_EX& transfer);
    // Ends the progress line and closes the account of the last file.
    void finish();

    const CTransferLog& log() const { return m_log; }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    static int confirmThunk(LPCWSTR source, DWORD sourceSize, LPCWSTR destination,
                            DWORD destinationSize, DWORD user);
    int confirm(const std::string& source, DWORD sourceSize, const std::string& destination,
                DWORD destinationSize);
    void onProgress(const TAVIK_PROGRESS& progress);

    static CTransferMonitor* s_active;

    CConsole& m_console;
    CConfirmPrompt m_prompt;
    CTransferLog m_log;
    std::unique_ptr<CProgressBar> m_bar; // only on a terminal
    std::string m_currentName;           // shown on the bar
};

} // namespace tavik::cli
