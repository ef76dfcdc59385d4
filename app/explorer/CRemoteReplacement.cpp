#include "app/explorer/CRemoteReplacement.h"

#include "app/explorer/FileOperationText.h"

#include "sdk/include/TavikSDK.h"

#include <QRandomGenerator>

namespace tavik::app {

namespace {

QString HiddenName(const char* suffix) {
    return QStringLiteral(".tavik-%1.%2")
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
        .arg(QLatin1String(suffix));
}

QString LibraryErrorText() {
    LPCWSTR text = tavik_FormatMessage(tavik_GetLastError());
    return text != nullptr ? QString::fromUtf16(text) : QString();
}

} // namespace

CRemoteReplacement::CRemoteReplacement(TAVIK_SESSION session, const QString& folder)
    : session_(session), folder_(folder), path_(folder + QLatin1Char('/') + HiddenName("part")) {}

CRemoteReplacement::~CRemoteReplacement() {
    Discard();
}

void CRemoteReplacement::Discard() {
    if (!committed_ && !discarded_) {
        tavik_DeleteFile(path_.toStdU16String().c_str(), 0, session_);
        discarded_ = true;
    }
}

bool CRemoteReplacement::Rename(const QString& from, const QString& to) const {
    return tavik_RenameFile(from.toStdU16String().c_str(), to.toStdU16String().c_str(), session_) !=
           0;
}

CRemoteReplacement::CommitResult CRemoteReplacement::Commit(const QString& target) {
    // A folder of the same name must never be moved aside and deleted in the file's stead.
    if (TAVIK_DIR* dir = tavik_OpenDir(target.toStdU16String().c_str(), session_)) {
        tavik_CloseDir(dir);
        return {false, RemoteRenameFailure(true).text};
    }
    if (Rename(path_, target)) {
        committed_ = true;
        return {true, {}};
    }
    const QString aside = folder_ + QLatin1Char('/') + HiddenName("old");
    if (!Rename(target, aside)) {
        return {false, LibraryErrorText()};
    }
    if (!Rename(path_, target)) {
        const QString error = LibraryErrorText();
        Rename(aside, target);
        return {false, error};
    }
    committed_ = true;
    tavik_DeleteFile(aside.toStdU16String().c_str(), 0, session_);
    return {true, {}};
}

} // namespace tavik::app
