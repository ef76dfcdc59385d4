#include "app/frame/CInstanceLink.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace tavik::app {

namespace {

constexpr int kLengthBytes = 4;
constexpr char kTaken = 'k';

QByteArray LengthPrefix(qsizetype length) {
    QByteArray prefix(kLengthBytes, '\0');
    for (int i = 0; i < kLengthBytes; ++i) {
        prefix[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    return prefix;
}

qsizetype ReadLength(const QByteArray& bytes) {
    qsizetype length = 0;
    for (int i = 0; i < kLengthBytes; ++i) {
        length |= static_cast<qsizetype>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return length;
}

} // namespace

bool PeerIsThisUser(qintptr descriptor) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) !=
        0) {
        return false;
    }
    return credentials.uid == ::getuid();
}

QString CInstanceLink::DefaultPath() {
    QString name = QStringLiteral("tavikPDA-link");
    if (const char* scope = std::getenv("TAVIK_WINDOW_SCOPE")) {
        // A scope is any text; its digest keeps the socket's path short and plain.
        name += QLatin1Char('-') +
                QString::fromLatin1(
                    QCryptographicHash::hash(scope, QCryptographicHash::Sha256).toHex().left(16));
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    }
    return folder + QLatin1Char('/') + name;
}

CInstanceLink::CInstanceLink(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)) {}

CInstanceLink::~CInstanceLink() = default;

bool CInstanceLink::HandOff(const QString& path, const std::u16string& commandLine) {
    const QByteArray text = QString::fromStdU16String(commandLine).toUtf8();
    if (text.size() > kMaxCommandLineBytes) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kHandOffTimeoutMs) || !PeerIsThisUser(socket.socketDescriptor())) {
        return false;
    }
    socket.write(LengthPrefix(text.size()) + text);
    if (!socket.waitForBytesWritten(kHandOffTimeoutMs)) {
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(kHandOffTimeoutMs)) {
            return false;
        }
    }
    return socket.read(1) == QByteArray(1, kTaken);
}

bool CInstanceLink::Listen() {
    if (IsListening()) {
        return true;
    }
    // Someone answering on the path is a running program; a file nobody answers on is left
    // over from one that ended without closing it.
    {
        QLocalSocket probe;
        probe.connectToServer(path_);
        if (probe.waitForConnected(kHandOffTimeoutMs)) {
            return false;
        }
    }
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &CInstanceLink::OnNewConnection);
    return true;
}

bool CInstanceLink::IsListening() const {
    return server_ != nullptr && server_->isListening();
}

void CInstanceLink::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        OnReadable(socket);
    }
}

void CInstanceLink::OnReadable(QLocalSocket* socket) {
    if (socket->bytesAvailable() < kLengthBytes) {
        return;
    }
    const qsizetype length = ReadLength(socket->peek(kLengthBytes));
    if (length > kMaxCommandLineBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kLengthBytes + length) {
        return;
    }
    socket->skip(kLengthBytes);
    const QString commandLine = QString::fromUtf8(socket->read(length));
    socket->write(QByteArray(1, kTaken));
    socket->flush();
    socket->disconnectFromServer();
    emit commandLineReceived(commandLine);
}

} // namespace tavik::app
