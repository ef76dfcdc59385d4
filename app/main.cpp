// tavikPDA: the explorer program. Start-up, the login and the main frame come with their own
// classes; until then the program opens its main window empty.
//
// TAVIK_SCREENSHOT=<file.png> makes the program save an image of its window once it is shown
// and quit, so that the window can be looked at on a machine without a screen
// (QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void scheduleScreenshot(QWidget& window, const char* path) {
    QTimer::singleShot(300, &window, [&window, path] {
        bool saved = window.grab().save(QString::fromLocal8Bit(path), "PNG");
        if (!saved) {
            std::fprintf(stderr, "tavikPDA: cannot save the screenshot to %s\n", path);
        }
        QApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavik"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("TAVIK 탐색기"));
    window.setAccessibleName(QStringLiteral("TAVIK 탐색기"));
    window.resize(480, 800);
    window.show();

    if (const char* screenshot = std::getenv("TAVIK_SCREENSHOT")) {
        scheduleScreenshot(window, screenshot);
    }
    return QApplication::exec();
}
