// New folder, rename and delete in the explorer's panes. The view hands the commands of its
// active pane here; the remote side works through the library with the current session (and only
// while a disk is browsed), the local side through the device's file system. Every operation ends
// by refreshing the pane it changed; new folder and rename use the list's label editing, whose
// committed text arrives in OnLabelEdited (the list never applies it by itself).
//
// Messages go through CMessageBox: the remote "같은 이름의 폴더가 이미 존재 합니다." /
// "새 폴더를 만드는데 오류가 발생하였습니다", the local "\"%s\" 에 디렉토리를 만들 수 없습니다.",
// the forbidden-character text, the rename errors by platform error, and the two delete questions.
// Deletion failures are silent: the refreshed list shows what is left.
// Threads: user-interface thread.
#pragma once

#include <QObject>
#include <QString>

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

    CTavikPDAView& view_;
};

} // namespace tavik::app
