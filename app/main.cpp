#include "app/globals.h"
#include "app/mainwindow.h"
#include "app/programdir.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));

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
