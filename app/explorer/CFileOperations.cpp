#include "app/explorer/CFileOperations.h"

#include "app/explorer/BatchText.h"
#include "app/explorer/CTavikPDADoc.h"
#include "app/explorer/CTavikPDAView.h"
#include "app/explorer/FileListCtrl.h"
#include "app/explorer/FileOperationText.h"
#include "app/explorer/ImageButton.h"
#include "app/explorer/LocalNames.h"
#include "app/shell/CMessageBox.h"
#include "app/shell/CWaitCursor.h"
#include "app/shell/PocketShell.h"

#include "platform/LocalFileSystem.h"
#include "sdk/include/TavikSDK.h"

#include <QApplication>

#include <array>

namespace tavik::app {

namespace {

// New local folder names are tried up to this number; a folder holding them all is full enough.
constexpr int kMaxNewFolderAttempts = 10000;

} // namespace

CFileOperations::CFileOperations(CTavikPDAView& view) : QObject(&view), view_(view) {}

bool CFileOperations::RemoteBrowsing() const {
    // The download button is enabled exactly while a disk's folders are shown.
    return view_.DownloadButton().isEnabled() && view_.Document().CurrentSession() != nullptr;
}

void CFileOperations::NewFolder() {
    if (view_.ActivePane() == CTavikPDAView::Pane::Remote) {
        if (RemoteBrowsing()) {
            NewRemoteFolder();
        }
    } else if (view_.ActivePane() == CTavikPDAView::Pane::Local) {
        NewLocalFolder();
    }
}

void CFileOperations::NewRemoteFolder() {
    CWaitCursor wait;
    std::array<char16_t, 257> name{};
    const std::u16string folder = view_.CurrentRemoteFolder().toStdU16String();
    if (!tavik_MakeFolder2(folder.c_str(), name.data(), 256, view_.Document().CurrentSession())) {
        CMessageBox::Show(tavik_GetLastError() == kRemoteFolderExistsError ? kFolderExistsText
                                                                           : kNewFolderFailedText,
                          QString(), MB_OK, &view_);
        return;
    }
    view_.OnCommand(ID_REFRESH);
    const QString made = QString::fromUtf16(name.data());
    if (!made.isEmpty()) {
        EditRowNamed(view_.RemoteList(), made);
    }
}

void CFileOperations::NewLocalFolder() {
    const QString devicePath = view_.CurrentDevicePath();
    QString made;
    for (int attempt = 0; attempt < kMaxNewFolderAttempts; ++attempt) {
        const QString name = LocalNewFolderName(attempt);
        const std::optional<QString> path = EntryInFolder(devicePath, name);
        const uint32_t error =
            path ? platform::createFolder(path->toStdU16String()) : platform::kErrorAccessDenied;
        if (error == platform::kErrorSuccess) {
            made = name;
            break;
        }
        if (error != platform::kErrorAlreadyExists) {
            CMessageBox::Show(CannotCreateFolderText(devicePath), QString(), MB_OK | MB_ICONERROR,
                              &view_);
            return;
        }
    }
    if (made.isEmpty()) {
        CMessageBox::Show(CannotCreateFolderText(devicePath), QString(), MB_OK | MB_ICONERROR,
                          &view_);
        return;
    }
    view_.OnCommand(ID_REFRESH);
    EditRowNamed(view_.LocalList(), made);
}

void CFileOperations::EditRowNamed(FileListCtrl& list, const QString& name) {
    const int row = list.FindRow(name);
    if (row < 0) {
        return;
    }
    list.ClearSelectedRows();
    list.SelectRow(row, true);
    list.scrollToItem(list.topLevelItem(row));
    list.StartLabelEdit();
}

void CFileOperations::OnLabelEdited(FileListCtrl& list, int row, const QString& text) {
    const bool remote = list.variant() == FileListCtrl::Variant::Remote;
    if (text.isEmpty() || row < 0 || row >= list.RowCount() || (remote && !RemoteBrowsing())) {
        HideSoftInputPanel();
        return;
    }
    const QString oldName = list.Text(row, kColumnName);
    // An edit confirmed with its text left alone (Enter on a new folder's editor) changes
    // nothing; asking for it would only report that the name already exists.
    if (text == oldName) {
        HideSoftInputPanel();
        return;
    }
    if (HasForbiddenNameChar(text)) {
        CMessageBox::Show(kForbiddenNameText, QString(), MB_OK | MB_ICONERROR, &view_);
        HideSoftInputPanel();
        return;
    }
    const bool folder = list.Text(row, kColumnSize) == kFolderSizeText;
    const std::optional<EntryPaths> paths = RenamePaths(remote, oldName, text);
    if (!paths) {
        HideSoftInputPanel();
        return;
    }
    const QString& oldPath = paths->oldPath;
    const QString& newPath = paths->newPath;
    if (!FitsRenameBuffer(oldPath) || !FitsRenameBuffer(newPath)) {
        CMessageBox::Show(kRenamePathTooLongText, QString(), MB_OK | MB_ICONERROR, &view_);
        HideSoftInputPanel();
        return;
    }
    bool renamed = false;
    RenameFailure failure;
    if (remote) {
        renamed =
            tavik_RenameFile(oldPath.toStdU16String().c_str(), newPath.toStdU16String().c_str(),
                             view_.Document().CurrentSession()) != 0;
        failure = RemoteRenameFailure(folder);
    } else {
        const uint32_t error =
            platform::moveFile(oldPath.toStdU16String(), newPath.toStdU16String());
        renamed = error == platform::kErrorSuccess;
        failure = LocalRenameFailure(error, folder);
    }
    if (renamed) {
        list.SetText(row, kColumnName, text);
    } else {
        CMessageBox::Show(failure.text, QString(), MB_OK | failure.icon, &view_);
    }
    HideSoftInputPanel();
}

std::optional<CFileOperations::EntryPaths>
CFileOperations::RenamePaths(bool remote, const QString& oldName, const QString& newName) {
    // Both names must be entries of the folder shown: "..", or a local name holding a
    // separator, would reach beside it.
    for (const QString& name : {oldName, newName}) {
        if (!(remote ? IsSingleRemoteName(name) : IsSingleLocalName(name))) {
            CMessageBox::Show(UnusableNameText(name), QString(), MB_OK | MB_ICONERROR, &view_);
            return std::nullopt;
        }
    }
    if (remote) {
        const QString base = view_.CurrentRemoteFolder() + QLatin1Char('/');
        return EntryPaths{base + oldName, base + newName};
    }
    const QString base = view_.CurrentDevicePath();
    const std::optional<QString> oldPath = EntryInFolder(base, oldName);
    const std::optional<QString> newPath = EntryInFolder(base, newName);
    if (!oldPath || !newPath) {
        CMessageBox::Show(UnusableNameText(oldPath ? newName : oldName), QString(),
                          MB_OK | MB_ICONERROR, &view_);
        return std::nullopt;
    }
    return EntryPaths{*oldPath, *newPath};
}

void CFileOperations::Delete() {
    const CTavikPDAView::Pane pane = view_.ActivePane();
    const bool remote = pane == CTavikPDAView::Pane::Remote;
    if (pane == CTavikPDAView::Pane::None || (remote && !RemoteBrowsing())) {
        return;
    }
    FileListCtrl& list = remote ? view_.RemoteList() : view_.LocalList();
    const std::vector<int> rows = list.SelectedRows();
    if (rows.empty()) {
        return;
    }
    // One selected row keeps its own question; several are asked about once, by their number.
    std::vector<DeletedEntry> entries;
    for (const int row : rows) {
        const std::optional<DeletedEntry> entry = EntryOfRow(list, row, remote);
        if (!entry) {
            return;
        }
        entries.push_back(*entry);
    }
    const QString question = entries.size() > 1
                                 ? DeleteManyQuestion(static_cast<int>(entries.size()))
                             : entries.front().folder ? kDeleteFolderQuestion
                                                      : kDeleteFileQuestion;
    if (CMessageBox::Show(question, QString(), MB_OKCANCEL | MB_ICONQUESTION, &view_) != IDOK) {
        return;
    }
    for (const DeletedEntry& entry : entries) {
        DeleteEntry(entry, remote);
    }
    view_.OnCommand(ID_REFRESH);
}

std::optional<CFileOperations::DeletedEntry> CFileOperations::EntryOfRow(const FileListCtrl& list,
                                                                         int row, bool remote) {
    const bool folder = list.Text(row, kColumnSize) == kFolderSizeText;
    const QString name = list.Text(row, kColumnName);
    // A name that is no single entry would delete something beside the folder shown.
    const std::optional<QString> localPath =
        remote ? std::nullopt : EntryInFolder(view_.CurrentDevicePath(), name);
    if (remote ? !IsSingleRemoteName(name) : !localPath) {
        CMessageBox::Show(UnusableNameText(name), QString(), MB_OK | MB_ICONERROR, &view_);
        return std::nullopt;
    }
    return DeletedEntry{remote ? view_.CurrentRemoteFolder() + QLatin1Char('/') + name : *localPath,
                        folder};
}

void CFileOperations::DeleteEntry(const DeletedEntry& entry, bool remote) {
    if (remote) {
        tavik_DeleteFile(entry.path.toStdU16String().c_str(), 1, view_.Document().CurrentSession());
    } else if (entry.folder) {
        DeleteLocalTree(entry.path);
    } else {
        platform::deleteFile(entry.path.toStdU16String());
    }
}

} // namespace tavik::app
