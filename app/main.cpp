#include "app/commandline.h"
#include "app/desktopid.h"
#include "app/globals.h"
#include "app/mainwindow.h"
#include "app/preferences.h"
#include "app/programdir.h"
#include "app/roomoption.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
    // Commands such as --import run in the terminal and need no display.
    if (const auto exitCode = zorvane::app::runCommandLine(argc, argv)) {
        return *exitCode;
    }

    QApplication application(argc, argv);
    // --room LINK / --room none: stored before the window reads the preferences.
    if (const auto exitCode = zorvane::app::applyRoomOption(
            QCoreApplication::arguments(), zorvane::app::programDirectory() + QLatin1Char('/') +
                                               zorvane::app::Preferences::fileName())) {
        return *exitCode;
    }
    // The windows and notifications belong to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QLatin1String(zorvane::app::kDesktopId));
    QIcon builtInIcon;
    for (const int size : {16, 32, 48, 256}) {
        builtInIcon.addFile(QStringLiteral(":/assets/icons/%1.png").arg(size));
    }
    QApplication::setWindowIcon(
        QIcon::fromTheme(QLatin1String(zorvane::app::kDesktopId), builtInIcon));

    zorvane::app::AppGlobals globals;
    const zorvane::schedule::SystemClock clock;
    int result = 0;
    {
        zorvane::app::MainWindow window({globals, clock,
                                         zorvane::app::programDirectory().toStdString(),
                                         ZORVANE_ANNOUNCEMENT_URL});
        window.show();
        result = QApplication::exec();
        // The workers stop before the window and what their handlers use are destroyed.
        globals.stopWorkers();
    }
    globals.teardown();
    return result;
}
