// Watches one get or put: holds the question about existing destinations and draws the progress
// bar from the library's progress messages. It is the window the transfers notify, so each
// notice reaches this object directly.
#pragma once

#include "cli/commands/CConsole.h"
#include "cli/core/CConfirmPrompt.h"
#include "cli/core/CProgressBar.h"

#include <TavikSDK.h>
#include <TavikWindow.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tavik::cli {

class CTransferMonitor : public CWindow {
public:
    // The message number of progress notices (the one the explorer uses for downloads).
    static constexpr UINT kProgressMessage = 2075;

    // quiet: no progress bar.
    CTransferMonitor(CConsole& console, ExistingPolicy policy, bool quiet);
    CTransferMonitor(const CTransferMonitor&) = delete;
    CTransferMonitor& operator=(const CTransferMonitor&) = delete;

    // Points the record's notification fields at this monitor.
    void attach(TAVIK_TRANSFER64& transfer);
    // The file the next notices are about, shown on the bar.
    void beginFile(const std::string& name);
    void endFile();
    // Ends the bar's line so that a message or a question can be printed.
    void interrupt();

    CConfirmPrompt& prompt() { return m_prompt; }

    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void onProgress(const TAVIK_PROGRESS64& progress);

    CConfirmPrompt m_prompt;
    std::unique_ptr<CProgressBar> m_bar; // only on a terminal
    std::string m_currentName;
    uint64_t m_lastPos = 0;
    bool m_newFile = true; // the next notice is the file's first
};

} // namespace tavik::cli
