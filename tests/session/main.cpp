// tavik-session: the explorer against a real reference service, in a throw-away folder.
//
//   tavik-session --server TAVIK_SERVER --program TAVIKPDA [--pictures DIR] [--keep]
//   tavik-session --server TAVIK_SERVER --program TAVIKPDA --interactive
//
// Both start tavik-server (all three servers on a loopback address of their own, account
// demo@tavik.local whose disk is a fresh folder with Korean names), issue a session key, and
// start the program logged in through its launch parameters, as the service's web site would.
// By default the program runs in this process, offscreen, through the scripted session
// (ScriptedSession), saving a picture per step into the pictures folder; the last line says
// whether it succeeded, and so does the exit status (0 success, 1 failure, 2 usage).
// With --interactive, the program TAVIKPDA runs on the desktop for a person until its window
// is closed or Ctrl-C is pressed; then the server stops and the folder is removed.
#include "app/frame/CTavikPDAApp.h"
#include "tests/session/DemoService.h"
#include "tests/session/ScriptedSession.h"
#include "tests/session/SessionDriver.h"
#include "tests/session/SessionFolders.h"
#include "tls/CKnownServers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

using tavik::session::DemoService;
using tavik::session::ScriptedSession;
using tavik::session::SessionDriver;
using tavik::session::SessionFolders;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Each step's bounded wait; a transfer of the session's files takes a fraction of it.
constexpr int kStepTimeoutMs = 60000;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

void Say(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

bool HasFlag(int argc, char* argv[], const char* flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], flag) == 0) {
            return true;
        }
    }
    return false;
}

// The program reads these once at its start: the service's addresses, and a registry, a device
// root and a window namespace of the session's own.
void SetProgramEnvironment(const DemoService& service, const SessionFolders& folders,
                           const QString& work) {
    qputenv("TAVIK_DOMAIN", DemoService::kDomain);
    qputenv("TAVIK_AUTH_SERVER",
            QStringLiteral("%1:%2").arg(service.Address()).arg(service.AuthPort()).toUtf8());
    qputenv("TAVIK_DISKINFO_SERVER",
            QStringLiteral("%1:%2").arg(service.Address()).arg(service.DiskInfoPort()).toUtf8());
    qputenv("TAVIK_REGISTRY", (work + QStringLiteral("/registry.db")).toUtf8());
    qputenv("TAVIK_DEVICE_ROOT", folders.DeviceRoot().toUtf8());
    qputenv("TAVIK_WINDOW_SCOPE", QFileInfo(work).fileName().toUtf8());
}

// The program connects over TLS (its default) and trusts the service's certificate as a user
// who accepted it on first use would: its fingerprint is in the list of known servers, for each
// of the three servers.
bool TrustService(const DemoService& service, const QString& work, QString& error) {
    qputenv("XDG_CONFIG_HOME", (work + QStringLiteral("/config")).toUtf8());
    const tavik::tls::CKnownServers known(tavik::tls::CKnownServers::defaultPath());
    const std::string host = service.Address().toStdString();
    for (quint16 port :
         {service.AuthPort(), service.DiskInfoPort(), DemoService::kDiskServerPort}) {
        std::string why;
        if (!known.remember(tavik::tls::CKnownServers::key(host, port),
                            service.Fingerprint().toStdString(), why)) {
            error = QString::fromStdString(why);
            return false;
        }
    }
    return true;
}

// The page's own prefix of 11 characters, then the pairs.
QString LaunchParameters(const QString& sessionKey) {
    return QStringLiteral("tavik://runu_id=%1;u_sessionkey=%2")
        .arg(QLatin1String(DemoService::kUser), sessionKey);
}

int RunForPerson(const QString& program, const QString& launch, DemoService& service) {
    QProcess explorer;
    explorer.setProcessChannelMode(QProcess::ForwardedChannels);
    explorer.start(program, {launch});
    if (!explorer.waitForStarted(30000)) {
        Say(QStringLiteral("cannot start %1: %2").arg(program, explorer.errorString()));
        return kExitFailure;
    }
    Say(QStringLiteral("TAVIK 탐색기 is running. To stop: close its window (menu 연결 > 종료) "
                       "or press Ctrl-C here."));
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&explorer] {
        if (stopRequested != 0) {
            explorer.terminate();
        }
    });
    stopWatch.start(200);
    QObject::connect(&explorer, &QProcess::finished, qApp, &QCoreApplication::quit);
    if (explorer.state() != QProcess::NotRunning) {
        QCoreApplication::exec();
    }
    if (!explorer.waitForFinished(10000)) {
        explorer.kill();
        explorer.waitForFinished(10000);
    }
    service.Stop();
    Say(QStringLiteral("tavik session: the program has ended; the server is stopped."));
    return 0;
}

void Report(const SessionDriver& driver, const QString& pictures) {
    const auto& results = driver.Results();
    for (size_t i = 0; i < results.size(); ++i) {
        const tavik::session::StepResult& result = results[i];
        Say(QStringLiteral("%1 %2. %3")
                .arg(result.problem.isEmpty() ? QStringLiteral("[ok]  ") : QStringLiteral("[FAIL]"))
                .arg(i + 1)
                .arg(result.name));
        for (const QString& box : result.boxes) {
            Say(QStringLiteral("          box: \"%1\"").arg(box));
        }
        if (!result.problem.isEmpty()) {
            Say(QStringLiteral("          problem: %1").arg(result.problem));
        }
        if (!result.picture.isEmpty()) {
            Say(QStringLiteral("          picture: %1").arg(result.picture));
        }
    }
    for (size_t i = results.size(); i < driver.StepCount(); ++i) {
        Say(QStringLiteral("[--]   %1. not reached").arg(i + 1));
    }
    Say(QStringLiteral("pictures of the steps: %1").arg(pictures));
}

int RunScripted(const QString& program, const QString& launch, const SessionFolders& folders,
                const QString& pictures) {
    tavik::app::CTavikPDAApp app;
    tavik::app::StartupOptions options;
    options.executablePath = QFileInfo(program).absoluteFilePath().toStdString();
    options.commandLine = launch.toStdU16String();
    ScriptedSession session(app, options, folders);
    SessionDriver driver(pictures, kStepTimeoutMs);
    session.AddSteps(driver);
    bool succeeded = false;
    QObject::connect(&driver, &SessionDriver::finished, [&succeeded](bool ok) {
        succeeded = ok;
        QCoreApplication::exit(ok ? 0 : kExitFailure);
    });
    driver.Start();
    QApplication::exec();
    app.ExitInstance();
    Report(driver, pictures);
    return succeeded ? 0 : kExitFailure;
}

} // namespace

// The offscreen platform says, at every window, which window-manager requests it ignores, and
// Qt notes a missing runtime folder on a server without a desktop session; neither says anything
// about the session, so those lines are left out of its report.
QtMessageHandler standardHandler = nullptr;

void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QStringLiteral("This plugin does not support")) ||
        text.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    standardHandler(type, context, text);
}

int main(int argc, char* argv[]) {
    const bool interactive = HasFlag(argc, argv, "--interactive");
    if (!interactive) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        standardHandler = qInstallMessageHandler(QuietOffscreenNotes);
    }
    QApplication application(argc, argv);
    // The program's windows come and go during the session; it decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The explorer against a real tavik-server, in a throw-away folder."));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("server"), QStringLiteral("tavik-server program"), QStringLiteral("path")});
    parser.addOption({QStringLiteral("program"),
                      QStringLiteral("tavikPDA program (its folder holds update.ini)"),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("pictures"),
                      QStringLiteral("folder for the pictures of the steps"), QStringLiteral("dir"),
                      QStringLiteral("tavik-session-pictures")});
    parser.addOption({QStringLiteral("keep"), QStringLiteral("keep the work folder")});
    parser.addOption({QStringLiteral("interactive"),
                      QStringLiteral("run the program on the desktop for a person")});
    parser.process(application);
    const QString server = parser.value(QStringLiteral("server"));
    const QString program = parser.value(QStringLiteral("program"));
    if (server.isEmpty() || program.isEmpty()) {
        Say(QStringLiteral("tavik-session: give --server and --program"));
        return kExitUsage;
    }

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/tavik-session-XXXXXX"));
    if (!work.isValid()) {
        Say(QStringLiteral("tavik session: FAILURE (no temporary folder)"));
        return kExitFailure;
    }
    work.setAutoRemove(!parser.isSet(QStringLiteral("keep")));
    Say(QStringLiteral("work folder: %1").arg(work.path()));

    SessionFolders folders(work.path());
    DemoService service(server, work.path());
    QString error;
    if (!folders.Create(error) ||
        !service.Start(folders.DiskRoot(), ScriptedSession::kDiskName, error)) {
        Say(error);
        Say(QStringLiteral("tavik session: FAILURE (the service did not start)"));
        return kExitFailure;
    }
    Say(QStringLiteral("tavik-server: disk server %1:%2, authentication %1:%3, disk information "
                       "%1:%4; account %5@%6, disk \"%7\" = %8")
            .arg(service.Address())
            .arg(DemoService::kDiskServerPort)
            .arg(service.AuthPort())
            .arg(service.DiskInfoPort())
            .arg(QLatin1String(DemoService::kUser), QLatin1String(DemoService::kDomain),
                 ScriptedSession::kDiskName, folders.DiskRoot()));
    const QString key = service.IssueSessionKey(error);
    if (key.isEmpty()) {
        Say(error);
        Say(QStringLiteral("tavik session: FAILURE (no session key)"));
        return kExitFailure;
    }
    const QString launch = LaunchParameters(key);
    Say(QStringLiteral("session key issued; the program starts as: tavikPDA \"%1\"").arg(launch));
    SetProgramEnvironment(service, folders, work.path());
    if (!TrustService(service, work.path(), error)) {
        Say(error);
        Say(QStringLiteral("tavik session: FAILURE (the list of known servers)"));
        return kExitFailure;
    }
    Say(QStringLiteral("TLS on every server, certificate fingerprint %1 (kept as known)")
            .arg(service.Fingerprint()));

    if (interactive) {
        return RunForPerson(program, launch, service);
    }
    const QString pictures = QDir(parser.value(QStringLiteral("pictures"))).absolutePath();
    const int status = RunScripted(program, launch, folders, pictures);
    service.Stop();
    if (status != 0) {
        Say(QStringLiteral("--- tavik-server log ---\n%1").arg(service.Log()));
    }
    Say(status == 0 ? QStringLiteral("tavik session: SUCCESS - every step done as a person would, "
                                     "against a real tavik-server")
                    : QStringLiteral("tavik session: FAILURE - see the steps above"));
    return status;
}
