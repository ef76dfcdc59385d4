// New folder, rename and delete in the explorer's panes. The view hands the commands of its
// active pane here; the remote side works through the library with the current session (and only
// while a disk is browsed), the local side through the device's file system. Every operation ends
// by refreshing the pane it changed; new folder and rename use the list's label editing, whose
// committed text arrives in OnLabelEdited (the list never applies it by itself).
//
// Messages go through CMessageBox: the remote "같은 이름의 폴더가 이미 존재 합니다." /
// "새 폴더를 만드는데 오류가 발생하였습니다", the local "\"%s\" 에 디렉토리를 만들 수 없습니다.",
// the forbidden-character text, the rename errors by platform error, and the two delete questions.
// Delete takes every selected row: one row is asked about with the row's own question, several
// with one question naming how many (DeleteManyQuestion). Deletion failures are silent: the
// refreshed list shows what is left. A name that is no single entry of the folder shown
// (LocalNames.h), stored or typed, is refused with its own message before any path is built from
// it. A folder row that is a symbolic link loses the link only. Threads: user-interface thread.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace tavik::app {

class CTavikPDAView;
class FileListCtrl;

class CFileOperations : public QObject {
    Q_OBJECT

public:
    explicit CFileOperations(CTavikPDAView& view);

    // In the view's active pane (nothing while no list was tapped).
    void NewFolder();
    void Delete();
    // A committed label edit of the list's row (an empty text counts as cancelled).
    void OnLabelEdited(FileListCtrl& list, int row, const QString& text);

private:
    void NewRemoteFolder();
    void NewLocalFolder();
    void EditRowNamed(FileListCtrl& list, const QString& name);
    bool RemoteBrowsing() const;
    struct EntryPaths {
        QString oldPath;
        QString newPath;
    };
    // The paths of a rename in the active pane's folder; nullopt (after its message) when either
    // name is no single entry there.
    std::optional<EntryPaths> RenamePaths(bool remote, const QString& oldName,
                                          const QString& newName);

    struct DeletedEntry {
        QString path;
        bool folder = false;
    };
    // The path of a selected row to delete; nullopt (after its message) for a name that is no
    // single entry of the folder shown.
    std::optional<DeletedEntry> EntryOfRow(const FileListCtrl& list, int row, bool remote);
    void DeleteEntry(const DeletedEntry& entry, bool remote);

    CTavikPDAView& view_;
};

} // namespace tavik::app
