// One running explorer per user takes the launch parameters of later launches: a link opened by
// the desktop (tavik://...) starts the program a second time, and that second program hands its
// command line to the first and ends instead of showing a second window.
//
// The link is a local stream socket in the user's runtime folder (owner-only, and every peer's
// user id is checked against ours, so another user's process can neither listen in our place
// nor hand us parameters). A TAVIK_WINDOW_SCOPE keeps a scope's programs (tests) apart, as the
// window endpoints do. Wire: a 4-byte little-endian length, the command line in UTF-8 (at most
// kMaxCommandLineBytes), answered by the single byte 'k' once taken.
//
// Ownership: the object owns its server and the connections it is reading.
// Threads: Listen and the signal on the object's thread; HandOff blocks (bounded) and may run on
// any thread.
#pragma once

#include <QObject>
#include <QString>

#include <string>

class QLocalServer;
class QLocalSocket;

namespace tavik::app {

class CInstanceLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxCommandLineBytes = 64 * 1024;
    static constexpr int kHandOffTimeoutMs = 3000;

    // The link of this user (and scope).
    static QString DefaultPath();

    explicit CInstanceLink(QString path, QObject* parent = nullptr);
    ~CInstanceLink() override;

    // Hands the command line to the program listening on the path; true once it has taken it.
    // False when nobody listens (or the peer is another user's, or it does not answer in time).
    static bool HandOff(const QString& path, const std::u16string& commandLine);

    // Starts listening. A link file left by a program that is gone is replaced; false when
    // another program listens already or the socket cannot be made.
    bool Listen();
    bool IsListening() const;

signals:
    // A later launch's command line (the launch parameters, as on a command line).
    void commandLineReceived(const QString& commandLine);

private:
    void OnNewConnection();
    void OnReadable(QLocalSocket* socket);

    QString path_;
    QLocalServer* server_ = nullptr;
};

// Whether the process at the other end of a connected local socket runs as this user.
bool PeerIsThisUser(qintptr descriptor);

} // namespace tavik::app
