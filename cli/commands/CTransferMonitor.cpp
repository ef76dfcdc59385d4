#include "cli/commands/CTransferMonitor.h"

#include "cli/commands/CBandwidth.h"
#include "cli/commands/CDiskSession.h"

namespace tavik::cli {

CTransferMonitor::CTransferMonitor(CConsole& console, ExistingPolicy policy, bool quiet)
    : m_prompt(policy, console.inIsTerminal, console.in, console.err) {
    if (console.errIsTerminal && !quiet) {
        m_bar = std::make_unique<CProgressBar>(console.err, console.columns);
    }
}

void CTransferMonitor::attach(TAVIK_TRANSFER64& transfer) {
    transfer.hNotifyWnd = this;
    transfer.uNotifyMsg = kProgressMessage;
    transfer.pfnProgress = nullptr;
}

void CTransferMonitor::beginFile(const std::string& name) {
    m_currentName = name;
    m_newFile = true;
}

void CTransferMonitor::endFile() {
    interrupt();
}

void CTransferMonitor::interrupt() {
    if (m_bar) {
        m_bar->finish();
    }
}

LRESULT CTransferMonitor::windowProc(UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
    if (msg == kProgressMessage && lParam != 0) {
        onProgress(*reinterpret_cast<const TAVIK_PROGRESS64*>(lParam));
    }
    return 0;
}

void CTransferMonitor::onProgress(const TAVIK_PROGRESS64& progress) {
    const TAVIK_TRANSFER64* transfer = progress.pTransfer;
    if (m_newFile && transfer != nullptr) {
        m_lastPos = transfer->qwStartPos; // a resumed file starts where it was
        m_newFile = false;
    }
    if (progress.qwPos != m_lastPos) {
        if (progress.qwPos > m_lastPos && CBandwidth::current() != nullptr) {
            CBandwidth::current()->account(progress.qwPos - m_lastPos);
        }
        m_lastPos = progress.qwPos;
        CDiskSession::noteActivity();
    }
    if (transfer == nullptr || !m_bar) {
        return;
    }
    ProgressSample sample;
    sample.name = m_currentName;
    sample.startPos = transfer->qwStartPos;
    sample.pos = progress.qwPos;
    sample.endPos = transfer->qwEndPos;
    sample.elapsedMs = progress.dwElapsed;
    m_bar->update(sample);
}

} // namespace tavik::cli
