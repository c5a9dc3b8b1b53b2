#include "services/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace zorvane::app {

namespace {

// Set on the window thread before the window is made, read there afterwards.
QString& installedLanguage() {
    static QString language = QStringLiteral("zh");
    return language;
}

} // namespace

QString windowLanguage() {
    return installedLanguage();
}

QStringList installTranslators(const QString& language) {
    installedLanguage() = language == QLatin1String("en") ? language : QStringLiteral("zh");
    QStringList missing;
    // The first directory that holds the file wins.
    auto load = [&missing](const QString& name, const QStringList& dirs) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        for (const QString& dir : dirs) {
            if (translator->load(name, dir)) {
                QCoreApplication::installTranslator(translator);
                return;
            }
        }
        delete translator;
        missing << name;
    };
    if (language == QLatin1String("en")) {
        // Built in (see services/CMakeLists.txt): the portable program needs no extra file.
        load(QStringLiteral("zorvane_en"), {QStringLiteral(":/i18n")});
    } else {
        // Qt's own texts (file dialogs, message box buttons, text field menus). A portable
        // copy carries them beside the program; an installed Qt keeps them in its own place.
        load(QStringLiteral("qtbase_zh_CN"),
             {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
              QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    }
    return missing;
}

} // namespace zorvane::app
