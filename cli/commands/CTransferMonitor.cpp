#include "cli/commands/CTransferMonitor.h"

#include "cli/core/CUtf8.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>

namespace tavik::cli {

CTransferMonitor* CTransferMonitor::s_active = nullptr;

namespace {

// The last component of a remote ("/") or device ("\" or "/") path.
std::string lastComponent(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The library hands local paths over with '\\' separators; this machine shows '/'.
std::string shown(LPCWSTR path) {
    std::string text = CUtf8::fromUtf16(path != nullptr ? path : u"");
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

} // namespace

CTransferMonitor::CTransferMonitor(CConsole& console, ExistingPolicy policy)
    : m_console(console), m_prompt(policy, console.inIsTerminal, console.in, console.err) {
    if (console.errIsTerminal) {
        m_bar = std::make_unique<CProgressBar>(console.err, console.columns);
    }
    s_active = this;
}

CTransferMonitor::~CTransferMonitor() {
    finish();
    s_active = nullptr;
}

void CTransferMonitor::attach(TAVIK_TRANSFER_EX& transfer) {
    transfer.pfnConfirm = &CTransferMonitor::confirmThunk;
    transfer.dwConfirmUser = 0;
    transfer.hNotifyWnd = this;
    transfer.uNotifyMsg = kProgressMessage;
    transfer.pfnProgress = nullptr;
}

void CTransferMonitor::finish() {
    if (m_bar) {
        m_bar->finish();
    }
    m_log.finish();
}

int CTransferMonitor::confirmThunk(LPCWSTR source, DWORD sourceSize, LPCWSTR destination,
                                   DWORD destinationSize, DWORD /*user*/) {
    if (s_active == nullptr) {
        return 0;
    }
    return s_active->confirm(shown(source), sourceSize, shown(destination), destinationSize);
}

int CTransferMonitor::confirm(const std::string& source, DWORD sourceSize,
                              const std::string& destination, DWORD destinationSize) {
    // The previous file is over: its line ends before a question can be asked.
    if (m_bar) {
        m_bar->finish();
    }
    const int answer = m_prompt.answer(source, sourceSize, destination, destinationSize);
    const bool skipped = answer != CConfirmPrompt::kAnew && answer != CConfirmPrompt::kResume;
    m_currentName = lastComponent(source);
    m_log.beginFile(source, sourceSize, skipped);
    return answer;
}

LRESULT CTransferMonitor::windowProc(UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
    if (msg == kProgressMessage && lParam != 0) {
        onProgress(*reinterpret_cast<const TAVIK_PROGRESS*>(lParam));
    }
    return 0;
}

void CTransferMonitor::onProgress(const TAVIK_PROGRESS& progress) {
    const TAVIK_TRANSFER* transfer = progress.pTransfer;
    if (transfer == nullptr) {
        return;
    }
    m_log.progress(progress.dwPos, transfer->dwEndPos, progress.dwError);
    if (!m_bar) {
        return;
    }
    ProgressSample sample;
    sample.name = m_currentName;
    if (sample.name.empty() && transfer->pszSrcPath != nullptr) {
        sample.name = lastComponent(CUtf8::fromUtf16(platform::fromAnsi(transfer->pszSrcPath)));
    }
    sample.startPos = transfer->dwStartPos;
    sample.pos = progress.dwPos;
    sample.endPos = transfer->dwEndPos;
    sample.elapsedMs = progress.dwElapsed;
    m_bar->update(sample);
}

} // namespace tavik::cli
