#include "tests/startup_e2e/DemoServer.h"

#include <QRegularExpression>

#include <filesystem>

namespace tavik::test {

DemoServer::~DemoServer() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

bool DemoServer::Start() {
    std::filesystem::create_directories(folder_.file("disk"));
    folder_.write("disk/hello.txt", "hello");
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(TAVIK_SERVER_PROGRAM),
                   {QStringLiteral("--demo"), QString::fromStdString(folder_.file("disk")),
                    QStringLiteral("--demo-password"), QString::fromLatin1(kPassword),
                    QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                    QStringLiteral("--port"), QStringLiteral("0")});
    if (!process_.waitForStarted(10000)) {
        return false;
    }
    // The demo announces its certificate after its ports: wait for that line as well, so that
    // whoever keeps the fingerprint finds it in the output.
    const QRegularExpression ports(
        QStringLiteral("authentication server on [0-9.]+:(\\d+), disk-information server on "
                       "[0-9.]+:(\\d+)[\\s\\S]*certificate fingerprint [0-9A-F:]{95}\\n"));
    for (int waited = 0; waited < 20; ++waited) {
        process_.waitForReadyRead(1000);
        output_ += process_.readAll().toStdString();
        QRegularExpressionMatch match = ports.match(QString::fromStdString(output_));
        if (match.hasMatch()) {
            authPort_ = static_cast<uint16_t>(match.captured(1).toUInt());
            diskInfoPort_ = static_cast<uint16_t>(match.captured(2).toUInt());
            return authPort_ != 0 && diskInfoPort_ != 0;
        }
        if (process_.state() == QProcess::NotRunning) {
            return false;
        }
    }
    return false;
}

} // namespace tavik::test
