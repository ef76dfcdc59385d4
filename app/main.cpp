// tavikPDA: the explorer program.
//
// TAVIK_SCREENSHOT=<file.png> makes the program save an image of its foremost window (the login
// dialog, or the main window once logged in) TAVIK_SCREENSHOT_AFTER_MS (default 1000) after the
// start, and end, so that the windows can be looked at on a machine without a screen
// (QT_QPA_PLATFORM=offscreen).
#include "app/frame/CInstanceLink.h"
#include "app/frame/CMainFrame.h"
#include "app/frame/CTavikPDAApp.h"
#include "app/frame/LaunchParameters.h"
#include "app/shell/CLanguage.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

// "My Device" is the user's home folder unless TAVIK_DEVICE_ROOT says otherwise; set before
// anything reads a device path.
void SetDeviceRoot() {
    if (std::getenv("TAVIK_DEVICE_ROOT") == nullptr) {
        ::setenv("TAVIK_DEVICE_ROOT", QDir::homePath().toLocal8Bit().constData(), 1);
    }
}

QWidget* ForemostWindow(const tavik::app::CTavikPDAApp& app) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (app.MainFrame() != nullptr && app.MainFrame()->isVisible()) {
        return app.MainFrame();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->pos().x() > -5000) {
            return window;
        }
    }
    return nullptr;
}

void ScheduleScreenshot(const tavik::app::CTavikPDAApp& app, const char* path) {
    const char* after = std::getenv("TAVIK_SCREENSHOT_AFTER_MS");
    int delayMs = after != nullptr ? std::atoi(after) : 1000;
    QTimer::singleShot(delayMs, [&app, path] {
        QWidget* window = ForemostWindow(app);
        bool saved = window != nullptr && window->grab().save(QString::fromLocal8Bit(path), "PNG");
        if (!saved) {
            std::fprintf(stderr, "tavikPDA: cannot save the screenshot to %s\n", path);
        }
        std::fflush(nullptr);
        std::_Exit(saved ? 0 : 1);
    });
}

std::u16string CommandLine(int argc, char* argv[]) {
    QString line;
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? QStringLiteral(" ") : QString()) + QString::fromLocal8Bit(argv[i]);
    }
    return line.toStdU16String();
}

} // namespace

int main(int argc, char* argv[]) {
    SetDeviceRoot();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavik"));
    // The tray icon keeps no window alive: the program ends with its main window.
    QApplication::setQuitOnLastWindowClosed(false);
    // Korean unless English is chosen (TAVIK_LANGUAGE=en, or the settings dialog).
    tavik::app::CLanguage::Install(tavik::app::CLanguage::Chosen());

    // A link (tavik://...) opened while the program runs is handed to the running program, which
    // takes it as its launch parameters; this second program then ends at once.
    const std::u16string commandLine = CommandLine(argc, argv);
    const QString linkPath = tavik::app::CInstanceLink::DefaultPath();
    if (commandLine.size() > tavik::app::kLaunchPrefixLength &&
        tavik::app::CInstanceLink::HandOff(linkPath, commandLine)) {
        return 0;
    }
    tavik::app::CInstanceLink link(linkPath);
    // Another copy started without a link may hold it already: this one then runs on its own.
    link.Listen();

    tavik::app::CTavikPDAApp app;
    QObject::connect(
        &link, &tavik::app::CInstanceLink::commandLineReceived, &app,
        [&app](const QString& line) { app.TakeLaunchParameters(line.toStdU16String()); },
        Qt::QueuedConnection);
    QObject::connect(&app, &tavik::app::CTavikPDAApp::finished, &application,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (const char* screenshot = std::getenv("TAVIK_SCREENSHOT")) {
        ScheduleScreenshot(app, screenshot);
    }
    tavik::app::StartupOptions options;
    options.executablePath = QCoreApplication::applicationFilePath().toStdString();
    options.commandLine = commandLine;
    if (!app.InitInstance(options)) {
        return app.ExitInstance();
    }
    QApplication::exec();
    return app.ExitInstance();
}
