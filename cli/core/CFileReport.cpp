#include "cli/core/CFileReport.h"

#include "cli/core/CJson.h"
#include "cli/core/CProgressBar.h"

namespace tavik::cli {

namespace {

const char* statusName(FileOutcome::Status status) {
    switch (status) {
    case FileOutcome::Status::Done:
        return "done";
    case FileOutcome::Status::Skipped:
        return "skipped";
    default:
        return "failed";
    }
}

} // namespace

void CFileReport::record(const FileOutcome& file) {
    switch (file.status) {
    case FileOutcome::Status::Done:
        ++m_transferred;
        m_bytes += file.bytes;
        break;
    case FileOutcome::Status::Skipped:
        ++m_skipped;
        break;
    case FileOutcome::Status::Failed:
        ++m_failed;
        break;
    }
    if (m_mode == Mode::Json) {
        CJson object;
        object.field("status", statusName(file.status)).field("source", file.source);
        object.field("destination", file.destination).field("bytes", file.bytes);
        if (file.status == FileOutcome::Status::Failed) {
            object.field("error", file.error);
        }
        m_out << object.str() << '\n';
    } else if (m_mode == Mode::Verbose && !m_quiet &&
               file.status != FileOutcome::Status::Failed) { // failures have their own line
        m_err << statusName(file.status) << ": " << file.source;
        if (!file.destination.empty()) {
            m_err << " -> " << file.destination;
        }
        if (file.status == FileOutcome::Status::Done) {
            m_err << " (" << CProgressBar::formatBytes(file.bytes) << ")";
        }
        m_err << '\n';
    }
}

void CFileReport::summary(const std::string& verb) {
    if (m_mode == Mode::Json) {
        CJson counts;
        counts.field("verb", verb)
            .field("transferred", static_cast<int64_t>(m_transferred))
            .field("skipped", static_cast<int64_t>(m_skipped))
            .field("failed", static_cast<int64_t>(m_failed))
            .field("bytes", m_bytes);
        m_out << "{\"summary\":" << counts.str() << "}\n";
        return;
    }
    if (m_quiet) {
        return;
    }
    m_err << verb << ' ' << m_transferred << " file(s), " << CProgressBar::formatBytes(m_bytes);
    if (m_skipped > 0) {
        m_err << ", skipped " << m_skipped;
    }
    if (m_failed > 0) {
        m_err << ", failed " << m_failed;
    }
    m_err << '\n';
}

} // namespace tavik::cli
