#include "tests/session/DemoService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

namespace tavik::session {

namespace {

constexpr int kStartWaitMs = 20000;
constexpr int kStopWaitMs = 10000;
constexpr int kKeyWaitMs = 20000;
constexpr int kAddressAttempts = 5;

QString CertificatePath(const QString& workFolder) {
    return workFolder + QStringLiteral("/tavik-server.crt");
}

QString KeyPath(const QString& workFolder) {
    return workFolder + QStringLiteral("/tavik-server.key");
}

// An address of 127.0.0.0/8 away from the usual 127.0.0.1 and 127.0.1.1.
QString RandomLoopbackAddress() {
    QRandomGenerator* random = QRandomGenerator::global();
    return QStringLiteral("127.%1.%2.%3")
        .arg(100 + random->bounded(100))
        .arg(random->bounded(256))
        .arg(1 + random->bounded(254));
}

// TOML basic strings: backslash and double quote escaped.
QString TomlString(const QString& text) {
    QString escaped = text;
    escaped.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    escaped.replace(QStringLiteral("\""), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

DemoService::DemoService(QString serverProgram, QString workFolder)
    : serverProgram_(std::move(serverProgram)), workFolder_(std::move(workFolder)),
      configPath_(workFolder_ + QStringLiteral("/tavik-server.toml")),
      logPath_(workFolder_ + QStringLiteral("/tavik-server.log")) {}

DemoService::~DemoService() {
    Stop();
}

bool DemoService::Start(const QString& diskFolder, const QString& diskName, QString& error) {
    for (int attempt = 0; attempt < kAddressAttempts; ++attempt) {
        if (StartAt(RandomLoopbackAddress(), diskFolder, diskName, error)) {
            return true;
        }
        Stop();
    }
    return false;
}

bool DemoService::StartAt(const QString& address, const QString& diskFolder,
                          const QString& diskName, QString& error) {
    if (!MakeCertificate(address, error) || !WriteConfig(address, diskFolder, diskName, error)) {
        return false;
    }
    QFile::remove(logPath_);
    process_.setProgram(serverProgram_);
    process_.setArguments({QStringLiteral("--config"), configPath_});
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(logPath_);
    process_.start();
    if (!process_.waitForStarted(kStartWaitMs)) {
        error = QStringLiteral("cannot start %1: %2").arg(serverProgram_, process_.errorString());
        return false;
    }
    address_ = address;
    return WaitForPorts(error);
}

bool DemoService::MakeCertificate(const QString& address, QString& error) {
    // The maker never replaces files: an earlier attempt's pair (for another address) goes.
    QFile::remove(CertificatePath(workFolder_));
    QFile::remove(KeyPath(workFolder_));
    QProcess maker;
    maker.start(serverProgram_,
                {QStringLiteral("make-certificate"), address, QStringLiteral("--certificate"),
                 CertificatePath(workFolder_), QStringLiteral("--key"), KeyPath(workFolder_)});
    if (!maker.waitForFinished(kKeyWaitMs) || maker.exitStatus() != QProcess::NormalExit ||
        maker.exitCode() != 0) {
        maker.kill();
        maker.waitForFinished(kStopWaitMs);
        error = QStringLiteral("tavik-server make-certificate failed: %1")
                    .arg(QString::fromUtf8(maker.readAllStandardError()).trimmed());
        return false;
    }
    static const QRegularExpression printed(QStringLiteral("fingerprint ([0-9A-F:]{95})"));
    const QRegularExpressionMatch match =
        printed.match(QString::fromUtf8(maker.readAllStandardOutput()));
    if (!match.hasMatch()) {
        error = QStringLiteral("tavik-server make-certificate printed no fingerprint");
        return false;
    }
    fingerprint_ = match.captured(1);
    return true;
}

bool DemoService::WriteConfig(const QString& address, const QString& diskFolder,
                              const QString& diskName, QString& error) const {
    // No password: the account logs in with session keys only. The disk takes only the disk
    // ids the disk-information server hands out, as a real installation's would.
    const QString text =
        QStringLiteral("[server]\n"
                       "address = %1\n"
                       "port = %2\n"
                       "tls_certificate = %7\n"
                       "tls_key = %8\n"
                       "\n"
                       "[service]\n"
                       "auth_port = 0\n"
                       "diskinfo_port = 0\n"
                       "state_database = \"tavik-state.db\"\n"
                       "installation_key = \"installation.key\"\n"
                       "\n"
                       "[[disk]]\n"
                       "id = \"demo-disk\"\n"
                       "name = %3\n"
                       "root = %4\n"
                       "capability_only = true\n"
                       "\n"
                       "[[account]]\n"
                       "user = \"%5\"\n"
                       "domain = \"%6\"\n"
                       "display_name = \"Demo\"\n"
                       "user_number = 1\n"
                       "\n"
                       "[[account.disk]]\n"
                       "id = \"demo-disk\"\n"
                       "name = %3\n")
            .arg(TomlString(address))
            .arg(kDiskServerPort)
            .arg(TomlString(diskName), TomlString(QDir(diskFolder).absolutePath()),
                 QLatin1String(kUser), QLatin1String(kDomain))
            .arg(TomlString(CertificatePath(workFolder_)), TomlString(KeyPath(workFolder_)));
    QFile file(configPath_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0) {
        error = QStringLiteral("cannot write %1").arg(configPath_);
        return false;
    }
    return true;
}

bool DemoService::WaitForPorts(QString& error) {
    static const QRegularExpression ports(
        QStringLiteral("authentication server on [0-9.]+:(\\d+), disk-information server on "
                       "[0-9.]+:(\\d+)"));
    QDeadlineTimer deadline(kStartWaitMs);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch match = ports.match(Log());
        if (match.hasMatch()) {
            authPort_ = match.captured(1).toUShort();
            diskInfoPort_ = match.captured(2).toUShort();
            return true;
        }
        if (process_.state() == QProcess::NotRunning) {
            error = QStringLiteral("tavik-server ended at start:\n%1").arg(Log());
            return false;
        }
        process_.waitForFinished(100);
    }
    error = QStringLiteral("tavik-server did not report its ports in %1 s:\n%2")
                .arg(kStartWaitMs / 1000)
                .arg(Log());
    return false;
}

QString DemoService::IssueSessionKey(QString& error) const {
    QProcess issuer;
    issuer.start(serverProgram_,
                 {QStringLiteral("session-key"),
                  QStringLiteral("%1@%2").arg(QLatin1String(kUser), QLatin1String(kDomain)),
                  QStringLiteral("--config"), configPath_, QStringLiteral("--ttl"),
                  QStringLiteral("10m")});
    if (!issuer.waitForFinished(kKeyWaitMs) || issuer.exitStatus() != QProcess::NormalExit ||
        issuer.exitCode() != 0) {
        issuer.kill();
        issuer.waitForFinished(kStopWaitMs);
        error = QStringLiteral("tavik-server session-key failed: %1")
                    .arg(QString::fromUtf8(issuer.readAllStandardError()).trimmed());
        return QString();
    }
    const QString key = QString::fromUtf8(issuer.readAllStandardOutput()).trimmed();
    if (key.isEmpty()) {
        error = QStringLiteral("tavik-server session-key printed no key");
    }
    return key;
}

void DemoService::Stop() {
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(kStopWaitMs)) {
        process_.kill();
        process_.waitForFinished(kStopWaitMs);
    }
}

QString DemoService::Log() const {
    QFile file(logPath_);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace tavik::session
