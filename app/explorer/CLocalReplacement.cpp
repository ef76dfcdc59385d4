#include "app/explorer/CLocalReplacement.h"

#include "platform/CLocalFile.h"
#include "platform/LocalFileSystem.h"

#include <QRandomGenerator>

namespace tavik::app {

namespace {

// Another hidden file of the same name is passed over; after this many tries something else is
// wrong with the folder.
constexpr int kNameAttempts = 16;

QString HiddenName() {
    return QStringLiteral(".tavik-%1.part")
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace

CLocalReplacement::CLocalReplacement(const QString& folder) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString candidate = folder + QLatin1Char('\\') + HiddenName();
        platform::CLocalFile file;
        // Made new, never opened over something that is there: it may be another's file.
        if (file.Open(candidate.toStdU16String(), platform::CLocalFile::Access::Write,
                      platform::CLocalFile::Disposition::CreateNew)) {
            path_ = candidate;
            return;
        }
        if (file.error() != platform::kErrorAlreadyExists) {
            return;
        }
    }
}

CLocalReplacement::~CLocalReplacement() {
    Discard();
}

void CLocalReplacement::Discard() {
    if (Ready() && !committed_) {
        platform::deleteFile(path_.toStdU16String());
        path_.clear();
    }
}

uint32_t CLocalReplacement::Commit(const QString& destination) {
    if (!Ready()) {
        return platform::kErrorFileNotFound;
    }
    const uint32_t error =
        platform::replaceFile(path_.toStdU16String(), destination.toStdU16String());
    committed_ = error == platform::kErrorSuccess;
    return error;
}

} // namespace tavik::app
