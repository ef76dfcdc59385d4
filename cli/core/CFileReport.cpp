#include "cli/core/CFileReport.h"

#include "cli/core/CJson.h"
#include "cli/core/CProgressBar.h"

#include <sstream>

namespace tavik::cli {

namespace {

const char* statusName(FileOutcome::Status status) {
    switch (status) {
    case FileOutcome::Status::Done:
        return "done";
    case FileOutcome::Status::Skipped:
        return "skipped";
    case FileOutcome::Status::Deleted:
        return "deleted";
    default:
        return "failed";
    }
}

} // namespace

void CFileReport::record(const FileOutcome& file) {
    if (m_mode == Mode::Wire) {
        m_out << static_cast<int>(file.status) << ' ' << file.bytes << ' ' << file.source.size()
              << ' ' << file.destination.size() << ' ' << file.error.size() << '\n'
              << file.source << file.destination << file.error << std::flush;
        return;
    }
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
    case FileOutcome::Status::Deleted:
        ++m_deleted;
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

std::optional<FileOutcome> CFileReport::decode(std::string& buffer) {
    const size_t end = buffer.find('\n');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream header(buffer.substr(0, end));
    int status = 0;
    FileOutcome file;
    size_t lengths[3] = {};
    header >> status >> file.bytes >> lengths[0] >> lengths[1] >> lengths[2];
    const size_t total = lengths[0] + lengths[1] + lengths[2];
    if (!header || buffer.size() < end + 1 + total) {
        return std::nullopt;
    }
    file.status = static_cast<FileOutcome::Status>(status);
    size_t at = end + 1;
    file.source = buffer.substr(at, lengths[0]);
    file.destination = buffer.substr(at += lengths[0], lengths[1]);
    file.error = buffer.substr(at += lengths[1], lengths[2]);
    buffer.erase(0, end + 1 + total);
    return file;
}

void CFileReport::summary(const std::string& verb) {
    if (m_mode == Mode::Wire) {
        return;
    }
    if (m_mode == Mode::Json) {
        CJson counts;
        counts.field("verb", verb)
            .field("transferred", static_cast<int64_t>(m_transferred))
            .field("skipped", static_cast<int64_t>(m_skipped))
            .field("failed", static_cast<int64_t>(m_failed))
            .field("deleted", static_cast<int64_t>(m_deleted))
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
    if (m_deleted > 0) {
        m_err << ", deleted " << m_deleted;
    }
    if (m_failed > 0) {
        m_err << ", failed " << m_failed;
    }
    m_err << '\n';
}

} // namespace tavik::cli
