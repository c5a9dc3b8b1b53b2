#include "services/programdir.h"

#include "services/desktopid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zorvane::app {

QString programDirectoryFor(const QString& exeDir) {
    const QString desktopEntry = QStringLiteral("%1/../share/applications/%2.desktop")
                                     .arg(exeDir, QLatin1String(kDesktopId));
    if (QFileInfo(exeDir).isWritable() && !QFileInfo::exists(desktopEntry)) {
        return QDir::cleanPath(exeDir);
    }
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    return QDir::cleanPath(dataDir);
}

QString programDirectory() {
    return programDirectoryFor(QCoreApplication::applicationDirPath());
}

QString helperProgramPath(const QString& name) {
#ifdef Q_OS_WIN
    const QString file = name + QStringLiteral(".exe");
#else
    const QString& file = name;
#endif
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(file);
    const QString installed = programDir.filePath(QStringLiteral("../libexec/zorvane/") + file);
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside
                                                                      : QDir::cleanPath(installed);
}

} // namespace zorvane::app
