// The throw-away folders of a session: the remote disk that the service serves (Korean names
// among its folders and files, a binary file large enough to take several transfer blocks) and
// the program's device root ("My Device") with the file that the session uploads. Also compares
// files byte for byte, for the report.
// Threads: any; nothing is shared.
#pragma once

#include <QString>

namespace tavik::session {

class SessionFolders {
public:
    // Remote disk: these entries exist at the start.
    static inline const QString kFolder = QStringLiteral("문서");
    static inline const QString kOtherFolder = QStringLiteral("음악");
    static inline const QString kDownloadFile = QStringLiteral("사진 모음.bin");
    static inline const QString kTextFile = QStringLiteral("보고서.txt");
    static inline const QString kTopFile = QStringLiteral("읽어보세요.txt");
    // Device root: the file the session uploads.
    static inline const QString kUploadFile = QStringLiteral("올릴 파일.txt");
    // Device root: the folder that batch downloads go into, and the folder inside it that the
    // session uploads whole.
    static inline const QString kBatchFolder = QStringLiteral("받은 파일");
    static inline const QString kUploadFolder = QStringLiteral("올릴 폴더");
    static inline const QString kUploadFolderFiles[2] = {QStringLiteral("첫째.txt"),
                                                         QStringLiteral("둘째/셋째.txt")};

    explicit SessionFolders(QString workFolder);

    // Makes both folders with their files; false with a reason.
    bool Create(QString& error) const;

    QString DiskRoot() const { return work_ + QStringLiteral("/disk"); }
    QString DeviceRoot() const { return work_ + QStringLiteral("/device"); }
    // A device path ("\a\b") as a host path under the device root.
    QString HostPathOfDevicePath(const QString& devicePath) const;

    // Empty when both files exist with the same bytes, else what differs.
    static QString CompareFiles(const QString& expected, const QString& actual);

private:
    QString work_;
};

} // namespace tavik::session
