#include "tests/session/SessionFolders.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace tavik::session {

namespace {

// Several 64 KiB transfer blocks and a short last one.
constexpr int kBinarySize = 5 * 65536 + 1234;

bool WriteFile(const QString& path, const QByteArray& bytes, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

QByteArray RandomBytes(int size) {
    QByteArray bytes(size, '\0');
    QRandomGenerator* random = QRandomGenerator::global();
    for (char& byte : bytes) {
        byte = static_cast<char>(random->bounded(256));
    }
    return bytes;
}

} // namespace

SessionFolders::SessionFolders(QString workFolder) : work_(std::move(workFolder)) {}

bool SessionFolders::Create(QString& error) const {
    const QDir disk(DiskRoot());
    const QDir device(DeviceRoot());
    const QString uploadFolder = device.filePath(kBatchFolder + QLatin1Char('/') + kUploadFolder);
    if (!QDir().mkpath(disk.filePath(kFolder)) || !QDir().mkpath(disk.filePath(kOtherFolder)) ||
        !QDir().mkpath(DeviceRoot()) || !QDir().mkpath(uploadFolder + QStringLiteral("/둘째"))) {
        error = QStringLiteral("cannot make the folders under %1").arg(work_);
        return false;
    }
    QByteArray upload;
    for (int line = 1; line <= 2000; ++line) {
        upload +=
            QStringLiteral("%1번째 줄: 기기에서 원격 디스크로 올라가는 글\n").arg(line).toUtf8();
    }
    return WriteFile(disk.filePath(kFolder + QLatin1Char('/') + kDownloadFile),
                     RandomBytes(kBinarySize), error) &&
           WriteFile(disk.filePath(kFolder + QLatin1Char('/') + kTextFile),
                     QStringLiteral("# 주간 보고\n- 할 일: 파일 정리\n").toUtf8(), error) &&
           WriteFile(disk.filePath(kOtherFolder + QStringLiteral("/노래 목록.txt")),
                     QStringLiteral("아리랑\n").toUtf8(), error) &&
           WriteFile(disk.filePath(kTopFile), QStringLiteral("데모 디스크입니다.\n").toUtf8(),
                     error) &&
           WriteFile(device.filePath(kUploadFile), upload, error) &&
           WriteFile(uploadFolder + QLatin1Char('/') + kUploadFolderFiles[0],
                     QStringLiteral("폴더째 올라가는 글\n").toUtf8(), error) &&
           WriteFile(uploadFolder + QLatin1Char('/') + kUploadFolderFiles[1], RandomBytes(70000),
                     error);
}

QString SessionFolders::HostPathOfDevicePath(const QString& devicePath) const {
    QString relative = devicePath;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (relative.startsWith(QLatin1Char('/'))) {
        relative.remove(0, 1);
    }
    return DeviceRoot() + QLatin1Char('/') + relative;
}

QString SessionFolders::CompareFiles(const QString& expected, const QString& actual) {
    QFile left(expected);
    QFile right(actual);
    if (!left.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 cannot be read").arg(expected);
    }
    if (!right.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 is missing").arg(actual);
    }
    const QByteArray a = left.readAll();
    const QByteArray b = right.readAll();
    if (a.size() != b.size()) {
        return QStringLiteral("%1 has %2 bytes, %3 has %4")
            .arg(actual)
            .arg(b.size())
            .arg(expected)
            .arg(a.size());
    }
    if (a != b) {
        return QStringLiteral("%1 differs from %2").arg(actual, expected);
    }
    return QString();
}

} // namespace tavik::session
