#include "app/commandline.h"
#include "app/desktopid.h"
#include "app/programdir.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using zorvane::app::CommandLine;
using Action = CommandLine::Action;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
        QStandardPaths::setTestModeEnabled(true);
    }

    void commandsAndWhatIsLeftToTheWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("importDir");
        QTest::addColumn<QString>("textPart");
        const auto row = [](const char* name, QStringList args, Action action, QString dir = {},
                            QString text = {}) {
            args.prepend(QStringLiteral("zorvane"));
            QTest::newRow(name) << args << action << dir << text;
        };
        row("no arguments", {}, Action::OpenWindow);
        row("toolkit options stay the window's", {"-platform", "offscreen", "-style", "fusion"},
            Action::OpenWindow);
        row("stray arguments are ignored as before", {"whatever", "--bogus"}, Action::OpenWindow);
        row("import", {"--import", "/old/Zorvane"}, Action::Import, "/old/Zorvane");
        row("import with equals and a blank", {"--import=/old/my Zorvane"}, Action::Import,
            "/old/my Zorvane");
        row("import with a single dash", {"-import", "dir"}, Action::Import, "dir");
        row("import without a folder", {"--import"}, Action::Error, {}, "--import");
        row("two folders", {"--import", "a", "--import", "b"}, Action::Error, {}, "one folder");
        row("a stray argument after a command", {"--import", "a", "b"}, Action::Error, {}, "'b'");
        row("toolkit options with a command", {"--import", "a", "-platform", "offscreen"},
            Action::Error, {}, "platform");
        row("help", {"--help"}, Action::ShowHelp, {}, "--import <DIR>");
        row("short help", {"-h"}, Action::ShowHelp, {}, "--version");
        row("all help", {"--help-all"}, Action::ShowHelp, {}, "--import <DIR>");
        row("version", {"--version"}, Action::ShowVersion, {}, "Zorvane 1.2.3");
    }

    void commandsAndWhatIsLeftToTheWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, importDir);
        QFETCH(QString, textPart);
        const CommandLine parsed = zorvane::app::parseCommandLine(arguments);
        QCOMPARE(parsed.action, action);
        QCOMPARE(parsed.importDir, importDir);
        QVERIFY2(parsed.text.contains(textPart), qPrintable(parsed.text));
    }

    void filesStayBesideAPortableProgramButNotInAnInstalledOne() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(!dataDir.startsWith(root.path()));

        const QString portable = root.filePath(QStringLiteral("portable"));
        QVERIFY(QDir().mkpath(portable));
        QCOMPARE(zorvane::app::programDirectoryFor(portable), portable);

        // A writable prefix (root's /usr, a private prefix) with the program installed.
        const QString bin = root.filePath(QStringLiteral("prefix/bin"));
        const QString applications = root.filePath(QStringLiteral("prefix/share/applications"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(applications));
        QFile other(applications + QStringLiteral("/org.example.Other.desktop"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QCOMPARE(zorvane::app::programDirectoryFor(bin), bin);

        QFile entry(applications + QLatin1Char('/') + QLatin1String(zorvane::app::kDesktopId) +
                    QStringLiteral(".desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QCOMPARE(zorvane::app::programDirectoryFor(bin), QDir::cleanPath(dataDir));
        QVERIFY(QFileInfo(dataDir).isDir());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_commandline.moc"
