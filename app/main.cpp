#include "cli/commandline.h"
#include "cli/roomoption.h"
#include "cli/singleinstance.h"
#include "models/builtinimage.h"
#include "periodic/globals.h"
#include "services/desktopid.h"
#include "services/language.h"
#include "services/preferences.h"
#include "services/programdir.h"
#include "services/session.h"
#include "widgets/firstpaint.h"
#include "widgets/mainwindow.h"
#include "widgets/starticon.h"
#include "widgets/startwarmup.h"

#include <QApplication>
#include <QScopeGuard>
#include <QTimer>

#include <cstdio>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

void printNoInstance(const QString& problem) {
    std::fprintf(stderr, "zorvane: %s; a second start will open a second window\n",
                 problem.toUtf8().constData());
}

} // namespace

int main(int argc, char* argv[]) {
#ifdef __GLIBC__
    // glibc gives every thread that allocates an arena of its own (up to eight per core),
    // and each keeps its free pages and its fragments resident; the tick's arena alone held
    // about 800 kB at 1,000 rows. Two serve the window's few threads. Before any thread.
    mallopt(M_ARENA_MAX, 2);
#endif
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
    // Commands such as --import run in the terminal and need no display.
    if (const auto exitCode = zorvane::app::runCommandLine(argc, argv)) {
        return *exitCode;
    }
    // The font configuration, the clock's zone and then the font database, made on a thread
    // beside the toolkit's start and the reading of the table.
    zorvane::app::StartWarmUp warmUp;

    QApplication application(argc, argv);
    // The thread goes on to the font database, and ends before the application object does
    // (on every path: a hand-over to a running instance returns below).
    warmUp.toolkitReady();
    const auto stopWarmUp = qScopeGuard([&warmUp] { warmUp.stop(); });
    // --room LINK / --room none: stored before the window reads the preferences.
    if (const auto exitCode = zorvane::app::applyRoomOption(
            QCoreApplication::arguments(), zorvane::app::programDirectory() + QLatin1Char('/') +
                                               zorvane::app::Preferences::fileName())) {
        return *exitCode;
    }
    // Problems met before the window is there: printed, and told in the window too, since a
    // window started from the menu has no terminal.
    QStringList missingTranslations;
    // The language is chosen in the preferences and applies from the start on.
    {
        const zorvane::app::Preferences preferences(zorvane::app::programDirectory() +
                                                    QLatin1Char('/') +
                                                    zorvane::app::Preferences::fileName());
        for (const QString& missing :
             zorvane::app::installTranslators(preferences.language.get())) {
            std::fprintf(stderr, "zorvane: no translation %s; some texts stay untranslated\n",
                         missing.toUtf8().constData());
            missingTranslations << missing;
        }
    }
    // The windows and notifications belong to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QLatin1String(zorvane::app::kDesktopId));
    // The desktop finds the installed icon through the desktop file name; the windows carry
    // the built-in picture, the same one. Looking it up in the icon theme as well would cost
    // milliseconds of the start and about 1 MB kept by the theme's index. Its large size
    // comes after the first paint.
    zorvane::app::StartIcon startIcon;

    // One instance per program directory: a second start hands over to the first (which
    // comes forward) and ends.
    const QString programDir = zorvane::app::programDirectory();
    zorvane::app::InstanceLock instanceLock(programDir);
    const QString serverName = zorvane::app::instanceServerName(programDir);
    if (const auto reply = zorvane::app::askRunningInstance(serverName, {})) {
        if (!reply->text.isEmpty()) {
            std::fprintf(stderr, "zorvane: %s\n", reply->text.toUtf8().constData());
        }
        return reply->exitCode;
    }
    // The lock is held until the server listens, after the first paint: a second start
    // meanwhile waits for it and then finds this instance answering, never a window still
    // being made (nor its own: it would become a second window).
    zorvane::app::InstanceServer instanceServer;
    const QString noInstance = instanceLock.problem();
    if (!noInstance.isEmpty()) {
        printNoInstance(noInstance);
    }

    zorvane::periodic::AppGlobals globals;
    const zorvane::schedule::SystemClock clock;
    int result = 0;
    {
        zorvane::app::SessionSetup setup =
            zorvane::app::SessionSetup::window(globals, clock, programDir.toStdString());
        setup.notificationIcon = [&startIcon] { return startIcon.notificationIcon(); };
        zorvane::app::Session session(std::move(setup));
        warmUp.awaitFontConfiguration();
        zorvane::app::MainWindow window(session, {.announcementUrl = ZORVANE_ANNOUNCEMENT_URL,
                                                  .missingTranslations = missingTranslations,
                                                  .instanceProblem = noInstance,
                                                  .portalShortcuts = true});
        instanceServer.setHandler([&window](const zorvane::app::CommandLine& command) {
            return window.runHandedOverCommand(command);
        });
        bool listenTried = false;
        const auto listen = [&] {
            if (!std::exchange(listenTried, true) && noInstance.isEmpty()) {
                if (!instanceServer.listen(serverName)) {
                    printNoInstance(instanceServer.errorString());
                    window.showInstanceProblem(instanceServer.errorString());
                }
            }
            instanceLock.unlock();
        };
        zorvane::app::afterFirstPaint(window, listen);
        // Registered after the window's own work after the first paint, so done before it
        // (the tray takes the window's icon there).
        startIcon.completeAfterFirstPaint(window);
        // A window that is not painted soon (started minimised, a slow display) still
        // answers well within the time a second start waits for the lock.
        QTimer::singleShot(zorvane::app::kInstanceTimeoutMs / 5, &window, listen);
        // Registered after the window's own, so the moment is taken before the window's work
        // after the first paint.
        zorvane::app::recordFirstPaint(window, qEnvironmentVariable("ZORVANE_FIRST_PAINT_FILE"));
        // What the thread still does is for the first paint.
        warmUp.stop();
        window.show();
        result = QApplication::exec();
        // The workers stop before the window and what their handlers use are destroyed.
        globals.stopWorkers();
        instanceServer.setHandler({});
    }
    globals.teardown();
    return result;
}
