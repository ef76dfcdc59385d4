// The reference service for a scripted or a person's session: one tavik-server process running
// all three servers (disk, authentication/message, disk-information) on a loopback address of its
// own, with one account "demo" whose one disk is a given folder, and single-use session keys for
// that account, issued the way the service's web site would before it starts the program.
//
// Every server speaks TLS too, with a self-signed certificate made for the address at start
// (tavik-server make-certificate), whose fingerprint the session hands to the program's list of
// known servers.
//
// The disk server must listen on the disk servers' fixed port (the program always connects to
// 9553 of the address the disk list names), so each service takes an address of 127.0.0.0/8 of
// its own, and several sessions (parallel tests, a person's demo) never meet on one port. The
// other two servers take free ports, which Start reports.
// Ownership: owns the server process (stopped with SIGTERM, then killed after a bounded wait)
// and the configuration files it writes into the work folder. Threads: one thread.
#pragma once

#include <QProcess>
#include <QString>

namespace tavik::session {

class DemoService {
public:
    static constexpr quint16 kDiskServerPort = 9553;
    static constexpr const char* kUser = "demo";
    static constexpr const char* kDomain = "tavik.local";

    DemoService(QString serverProgram, QString workFolder);
    ~DemoService();
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    // Serves diskFolder under the name diskName; false with a reason when the server cannot
    // start (after a few addresses were tried) or does not report its ports in time.
    bool Start(const QString& diskFolder, const QString& diskName, QString& error);
    // A new single-use session key for the demo account; empty with a reason on failure.
    QString IssueSessionKey(QString& error) const;
    // Stops the server (SIGTERM, bounded wait, then SIGKILL). Also done by the destructor.
    void Stop();

    QString Address() const { return address_; }
    // The SHA-256 fingerprint of the servers' certificate ("AB:CD:...").
    QString Fingerprint() const { return fingerprint_; }
    quint16 AuthPort() const { return authPort_; }
    quint16 DiskInfoPort() const { return diskInfoPort_; }
    // The server's standard error so far (its log).
    QString Log() const;

private:
    bool StartAt(const QString& address, const QString& diskFolder, const QString& diskName,
                 QString& error);
    bool WriteConfig(const QString& address, const QString& diskFolder, const QString& diskName,
                     QString& error) const;
    bool WaitForPorts(QString& error);
    bool MakeCertificate(const QString& address, QString& error);

    QString serverProgram_;
    QString workFolder_;
    QString configPath_;
    QString logPath_;
    QProcess process_;
    QString address_;
    QString fingerprint_;
    quint16 authPort_ = 0;
    quint16 diskInfoPort_ = 0;
};

} // namespace tavik::session
