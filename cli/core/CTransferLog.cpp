#include "cli/core/CTransferLog.h"

namespace tavik::cli {

void CTransferLog::beginFile(std::string name, uint64_t size, bool skipped) {
    finish();
    m_current = Current{};
    m_current.name = std::move(name);
    m_current.size = size;
    m_current.skipped = skipped;
    m_open = true;
}

void CTransferLog::progress(uint64_t pos, uint64_t endPos, uint32_t error) {
    if (!m_open) {
        return;
    }
    if (!m_current.reported) {
        m_current.firstPos = pos;
        m_current.reported = true;
    }
    m_current.pos = pos;
    m_current.endPos = endPos;
    m_current.error = error;
}

void CTransferLog::finish() {
    if (!m_open) {
        return;
    }
    m_open = false;
    if (m_current.skipped) {
        ++m_skipped;
        return;
    }
    // A file that never reported failed before its data moved (local file, server refusal).
    if (m_current.reported && m_current.error == 0 && m_current.pos == m_current.endPos) {
        ++m_transferred;
        m_bytes += m_current.pos - m_current.firstPos;
        return;
    }
    m_incomplete.push_back(m_current.name);
}

} // namespace tavik::cli
