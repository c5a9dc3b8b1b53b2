#include "services/preferences.h"
#include "widgets/preferencesdialog.h"
#include "widgets/shortcutpage.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <memory>

#include <sys/stat.h>

using namespace zorvane;

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file's mode bits for owner, group and others (Qt adds the current user's rights).
std::filesystem::perms modeOf(const QString& path) {
    return std::filesystem::status(path.toStdString()).permissions() & std::filesystem::perms::all;
}

constexpr std::filesystem::perms kMode0600 =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

// Writes a preferences file by hand, as a user with a text editor would.
void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private:
    QString path() const { return m_dir.filePath(app::Preferences::fileName()); }

    template <typename T> static T find(QWidget& parent, const char* name) {
        auto* widget = parent.findChild<T>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no widget %s", name);
        }
        return widget;
    }

private slots:
    void init() {
        QFile::remove(path());
        QVERIFY(m_dir.isValid());
    }

    // A first run: every option has its default, nothing is written until something
    // changes, and the new file is its owner's alone.
    void defaultsOnFirstRun() {
        app::Preferences prefs(path());
        QCOMPARE(prefs.notificationsEnabled.get(), true);
        QCOMPARE(prefs.volume.get(), 100);
        QCOMPARE(prefs.speechEnabled.get(), false);
        QCOMPARE(prefs.extraLeadTimes.get(), QString());
        QCOMPARE(prefs.repeatSeconds.get(), 0);
        QCOMPARE(prefs.repeatLimitMinutes.get(), 5);
        QVERIFY(prefs.extraLeadMinutes().empty());
        QVERIFY(!QFile::exists(path()));
        QVERIFY(prefs.volume.set(90));
        QVERIFY(QFile::exists(path()));
        QVERIFY(modeOf(path()) == kMode0600);
    }

    // A pipe, a directory or a link to a pipe in the file's place is not opened (a pipe
    // would hold the start until somebody writes to it) nor replaced: the defaults, changes
    // for this run only, and the reason.
    void notARegularFileIsNeitherOpenedNorReplaced_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a pipe") << "fifo";
        QTest::newRow("a directory") << "dir";
        QTest::newRow("a link to a pipe") << "link";
    }

    void notARegularFileIsNeitherOpenedNorReplaced() {
        QFETCH(QString, kind);
        const QByteArray file = QFile::encodeName(path());
        const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
        QFile::remove(fifo);
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(file.constData(), 0600), 0);
        } else if (kind == "dir") {
            QVERIFY(QDir(m_dir.path()).mkdir(app::Preferences::fileName()));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            QVERIFY(QFile::link(fifo, path()));
        }
        {
            app::Preferences prefs(path());
            QCOMPARE(prefs.volume.get(), 100);
            QVERIFY(prefs.store().problem().contains(path()));
            QVERIFY(!prefs.volume.set(40));
            // Kept for this run.
            QCOMPARE(prefs.volume.get(), 40);
        }
        const std::filesystem::file_type type =
            std::filesystem::status(path().toStdString()).type();
        QCOMPARE(int(type), int(kind == "dir" ? std::filesystem::file_type::directory
                                              : std::filesystem::file_type::fifo));
        if (kind == "dir") {
            QVERIFY(QDir(path()).isEmpty());
            QVERIFY(QDir(path()).removeRecursively());
        } else {
            QFile::remove(path());
        }
    }

    // Values come back typed in a later run, from a UTF-8 file; every rewrite stays owner-only.
    void valuesSurviveARestart() {
        {
            app::Preferences prefs(path());
            QVERIFY(prefs.notificationsEnabled.set(false));
            QVERIFY(prefs.volume.set(35));
            QVERIFY(prefs.speechEnabled.set(true));
            QVERIFY(prefs.extraLeadTimes.set(QStringLiteral("10, 1")));
            QVERIFY(prefs.repeatSeconds.set(30));
            QVERIFY(prefs.store().setValue(QStringLiteral("room/name"), QStringLiteral("龙之谷")));
            QVERIFY(modeOf(path()) == kMode0600);
        }
        QVERIFY(readFile(path()).contains("龙之谷"));
        app::Preferences prefs(path());
        QCOMPARE(prefs.notificationsEnabled.get(), false);
        QCOMPARE(prefs.volume.get(), 35);
        QCOMPARE(prefs.speechEnabled.get(), true);
        QCOMPARE(prefs.extraLeadTimes.get(), QStringLiteral("10, 1"));
        QCOMPARE(prefs.extraLeadMinutes(), (std::vector<int>{10, 1}));
        QCOMPARE(prefs.repeatSeconds.get(), 30);
        QCOMPARE(prefs.store().value(QStringLiteral("room/name")).toString(),
                 QStringLiteral("龙之谷"));
    }

    void existingFileIsMadeOwnerOnly() {
        writeFile(path(), "[sound]\nvolume=40\n");
        QFile::setPermissions(path(), kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        app::Preferences prefs(path());
        QVERIFY(modeOf(path()) == kMode0600);
        QCOMPARE(prefs.volume.get(), 40);
    }

    // Whatever a hand-edited file holds, each option reads as a usable value.
    void handEditedValues_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("notifications");
        QTest::addColumn<int>("volume");
        QTest::addColumn<int>("repeatSeconds");
        QTest::addColumn<QString>("leadTimes");
        QTest::addColumn<int>("leadCount");
        QTest::newRow("words") << QByteArray("[alerts]\nnotifications=maybe\nrepeatSeconds=often\n"
                                             "[sound]\nvolume=loud\n")
                               << true << 100 << 0 << QString() << 0;
        QTest::newRow("out of range") << QByteArray("[alerts]\nrepeatSeconds=99999\n"
                                                    "[sound]\nvolume=150\n")
                                      << true << 100 << 600 << QString() << 0;
        QTest::newRow("negative") << QByteArray("[alerts]\nrepeatSeconds=-4\n[sound]\nvolume=-5\n")
                                  << true << 0 << 0 << QString() << 0;
        QTest::newRow("0 and blanks") << QByteArray("[alerts]\nnotifications = 0\n"
                                                    "[sound]\nvolume= 20 \n")
                                      << false << 20 << 0 << QString() << 0;
        QTest::newRow("unquoted list") << QByteArray("[alerts]\nextraLeadTimes=10, 1\n") << true
                                       << 100 << 0 << QStringLiteral("10, 1") << 2;
        QTest::newRow("bad list") << QByteArray("[alerts]\nextraLeadTimes=ten\n") << true << 100
                                  << 0 << QStringLiteral("ten") << 0;
    }

    void handEditedValues() {
        QFETCH(QByteArray, file);
        QFETCH(bool, notifications);
        QFETCH(int, volume);
        QFETCH(int, repeatSeconds);
        QFETCH(QString, leadTimes);
        QFETCH(int, leadCount);
        writeFile(path(), file);
        app::Preferences prefs(path());
        QCOMPARE(prefs.notificationsEnabled.get(), notifications);
        QCOMPARE(prefs.volume.get(), volume);
        QCOMPARE(prefs.repeatSeconds.get(), repeatSeconds);
        QCOMPARE(prefs.extraLeadTimes.get(), leadTimes);
        QCOMPARE(static_cast<int>(prefs.extraLeadMinutes().size()), leadCount);
    }

    // Listeners hear of a real change of their own option only, with the stored value.
    void changeNotices() {
        app::Preferences prefs(path());
        QObject context;
        QList<int> volumes;
        int speechChanges = 0;
        prefs.volume.onChanged(&context, [&](const int& v) { volumes.append(v); });
        prefs.speechEnabled.onChanged(&context, [&](const bool&) { ++speechChanges; });
        QVERIFY(prefs.volume.set(50));
        QVERIFY(prefs.volume.set(50));  // unchanged
        QVERIFY(prefs.volume.set(400)); // stored as 100
        QVERIFY(prefs.volume.set(100)); // unchanged after clamping
        QCOMPARE(volumes, (QList<int>{50, 100}));
        QCOMPARE(speechChanges, 0);
    }

    // Another process (a second start with --room) writes the file; a reload tells the
    // window of exactly the options that changed, set or removed.
    void reloadTellsWhatAnotherProcessChanged() {
        app::Preferences window(path());
        QVERIFY(window.volume.set(70));
        QVERIFY(window.roomLink.set(QStringLiteral("mqtt://broker/raid")));
        QVERIFY(window.speechEnabled.set(true));
        QSignalSpy changed(&window.store(), &app::PreferenceStore::changed);
        // As another process would leave it: the link changed, speech gone, volume as it was.
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        bytes.replace("mqtt://broker/raid", "mqtt://broker/other");
        const QByteArray speechKey =
            window.speechEnabled.key().section(QLatin1Char('/'), -1).toUtf8();
        QByteArrayList lines = bytes.split('\n');
        lines.removeIf([&](const QByteArray& line) { return line.startsWith(speechKey + '='); });
        writeFile(path(), lines.join('\n'));
        window.store().reload();
        QStringList keys;
        for (const QList<QVariant>& call : changed) {
            keys << call.at(0).toString();
        }
        keys.sort();
        QCOMPARE(keys, QStringList({window.roomLink.key(), window.speechEnabled.key()}));
        QCOMPARE(window.roomLink.get(), QStringLiteral("mqtt://broker/other"));
        QCOMPARE(window.speechEnabled.get(), window.speechEnabled.defaultValue());
    }

    // The directory cannot exist: a plain file stands where it would be.
    QString unwritablePath() const {
        writeFile(m_dir.filePath(QStringLiteral("gone")), "not a directory");
        return m_dir.filePath(QStringLiteral("gone/preferences.ini"));
    }

    void unwritableFileIsReported() {
        app::Preferences prefs(unwritablePath());
        QVERIFY(!prefs.volume.set(10));
    }

    void dialogStoresWhatWasEntered() {
        app::Preferences prefs(path());
        QVERIFY(prefs.volume.set(60));
        app::PreferencesDialog dialog(prefs);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        auto* lead = find<QLineEdit*>(dialog, "leadTimesEdit");
        auto* error = find<QLabel*>(dialog, "leadTimesError");
        auto* ok = find<QDialogButtonBox*>(dialog, "")->button(QDialogButtonBox::Ok);
        QCOMPARE(find<QSlider*>(dialog, "volumeSlider")->value(), 60);
        QVERIFY(!find<QSpinBox*>(dialog, "repeatLimitBox")->isEnabled());

        lead->setText(QStringLiteral("10，abc"));
        QVERIFY(error->isVisibleTo(&dialog));
        QVERIFY(error->text().contains(QStringLiteral("abc")));
        QVERIFY(!ok->isEnabled());
        lead->setText(QStringLiteral("1，10"));
        QVERIFY(!error->isVisibleTo(&dialog));
        QVERIFY(ok->isEnabled());

        find<QSlider*>(dialog, "volumeSlider")->setValue(25);
        QCOMPARE(find<QSpinBox*>(dialog, "volumeBox")->value(), 25);
        find<QCheckBox*>(dialog, "speechBox")->setChecked(true);
        find<QCheckBox*>(dialog, "notificationsBox")->setChecked(false);
        find<QSpinBox*>(dialog, "repeatSecondsBox")->setValue(20);
        QVERIFY(find<QSpinBox*>(dialog, "repeatLimitBox")->isEnabled());
        find<QSpinBox*>(dialog, "repeatLimitBox")->setValue(3);

        if (const QByteArray dir = qgetenv("ZORVANE_SCREENSHOT_DIR"); !dir.isEmpty()) {
            dialog.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/preferences.png"));
            find<QTabWidget*>(dialog, "")->setCurrentIndex(1);
            dialog.grab().save(QString::fromLocal8Bit(dir) +
                               QStringLiteral("/preferences-sound.png"));
            find<QTabWidget*>(dialog, "")->setCurrentIndex(0);
        }
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(prefs.extraLeadTimes.get(), QStringLiteral("10, 1"));
        QCOMPARE(prefs.volume.get(), 25);
        QCOMPARE(prefs.speechEnabled.get(), true);
        QCOMPARE(prefs.notificationsEnabled.get(), false);
        QCOMPARE(prefs.repeatSeconds.get(), 20);
        QCOMPARE(prefs.repeatLimitMinutes.get(), 3);
    }

    void dialogCancelStoresNothing() {
        app::Preferences prefs(path());
        app::PreferencesDialog dialog(prefs);
        find<QSpinBox*>(dialog, "volumeBox")->setValue(5);
        find<QLineEdit*>(dialog, "leadTimesEdit")->setText(QStringLiteral("3"));
        dialog.reject();
        QCOMPARE(prefs.volume.get(), 100);
        QCOMPARE(prefs.extraLeadTimes.get(), QString());
    }

    // The 共享 page: the link is checked and stored in its normal form, and only sharing
    // choices that differ from a row's check box are kept.
    void roomPageStoresLinkAndSharedRows() {
        app::Preferences prefs(path());
        const std::vector<std::pair<QString, bool>> rows = {
            {"Dragon", true}, {"Hydra", false}, {"Ogre", true}};
        const auto states = [&](app::PreferencesDialog& dialog) {
            QString states;
            auto* list = find<QListWidget*>(dialog, "sharedRowsList");
            for (int i = 0; i < list->count(); ++i) {
                states += list->item(i)->checkState() == Qt::Checked ? u'1' : u'0';
            }
            return states;
        };
        {
            app::PreferencesDialog dialog(prefs);
            dialog.setSharedRows(rows);
            QCOMPARE(states(dialog), QStringLiteral("101"));
            find<QLineEdit*>(dialog, "roomLinkEdit")->setText(QStringLiteral("ftp://x/guild"));
            // On a page not shown: the label's own state tells.
            QVERIFY(!find<QLabel*>(dialog, "roomLinkError")->isHidden());
            QVERIFY(!dialog.apply());
            QCOMPARE(prefs.roomLink.get(), QString());

            find<QLineEdit*>(dialog, "roomLinkEdit")
                ->setText(QStringLiteral(" mqtts://ann@broker.example:8883/raid "));
            QVERIFY(find<QLabel*>(dialog, "roomLinkError")->isHidden());
            find<QLineEdit*>(dialog, "roomPasswordEdit")->setText(QStringLiteral("pw"));
            find<QLineEdit*>(dialog, "roomNicknameEdit")->setText(QStringLiteral(" Ann "));
            auto* list = find<QListWidget*>(dialog, "sharedRowsList");
            list->item(0)->setCheckState(Qt::Unchecked);
            list->item(1)->setCheckState(Qt::Checked);
            if (const QByteArray dir = qgetenv("ZORVANE_SCREENSHOT_DIR"); !dir.isEmpty()) {
                find<QTabWidget*>(dialog, "")->setCurrentIndex(2);
                dialog.show();
                dialog.grab().save(QString::fromLocal8Bit(dir) +
                                   QStringLiteral("/preferences-room.png"));
            }
            QVERIFY(dialog.apply());
        }
        QCOMPARE(prefs.roomLink.get(), QStringLiteral("mqtts://ann@broker.example/raid"));
        QCOMPARE(prefs.roomPassword.get(), QStringLiteral("pw"));
        QCOMPARE(prefs.roomNickname.get(), QStringLiteral("Ann"));
        QCOMPARE(prefs.sharedBosses.get(), QStringList{"Hydra"});
        QCOMPARE(prefs.unsharedBosses.get(), QStringList{"Dragon"});

        app::PreferencesDialog again(prefs);
        again.setSharedRows(rows);
        QCOMPARE(states(again), QStringLiteral("011"));
        find<QListWidget*>(again, "sharedRowsList")->item(0)->setCheckState(Qt::Checked);
        QVERIFY(again.apply());
        QCOMPARE(prefs.unsharedBosses.get(), QStringList());
        QCOMPARE(app::Preferences(path()).sharedBosses.get(), QStringList{"Hydra"});
    }

    // A file that cannot be written keeps the dialog open with the reason.
    void dialogShowsAFailedSave() {
        app::Preferences prefs(unwritablePath());
        app::PreferencesDialog dialog(prefs);
        dialog.show();
        // A change to store (unchanged values are not written again).
        find<QSlider*>(dialog, "volumeSlider")->setValue(30);
        QVERIFY(!dialog.apply());
        auto* saveError = find<QLabel*>(dialog, "saveError");
        QVERIFY(saveError->isVisibleTo(&dialog));
        QVERIFY(saveError->text().contains(QStringLiteral("gone/preferences.ini")));
        QVERIFY(dialog.isVisible());
    }

    // 桌面快捷键: every command, read by a real shell, gives back exactly the program and the
    // name, whatever characters they hold.
    void shortcutCommandsSurviveTheShell_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("boss");
        QTest::newRow("installed") << QStringLiteral("zorvane") << QStringLiteral("黑龙");
        QTest::newRow("a path with a blank")
            << QStringLiteral("/home/a b/Zorvane/zorvane") << QStringLiteral("Dragon");
        QTest::newRow("quotes and shell characters")
            << QStringLiteral("/tmp/z$(id)/zorvane")
            << QStringLiteral("Bob's \"boss\" `x` $HOME; *");
        QTest::newRow("no boss yet") << QStringLiteral("zorvane") << QStringLiteral("  ");
    }

    void shortcutCommandsSurviveTheShell() {
        QFETCH(QString, program);
        QFETCH(QString, boss);
        app::PreferencesDialog dialog(m_prefs());
        dialog.addShortcutPage(program, boss);
        auto* page = dialog.findChild<app::ShortcutPage*>();
        QVERIFY(page != nullptr);
        const QStringList commands = page->commandsText().split(QLatin1Char('\n'));
        QCOMPARE(commands.size(), 3);
        const QString name = boss.trimmed().isEmpty() ? QStringLiteral("黑龙") : boss.trimmed();
        const QList<QStringList> expected = {
            {program, "--kill", name}, {program, "--kill", name, "2"}, {program, "--say-next"}};
        for (int i = 0; i < commands.size(); ++i) {
            // The shell prints each word it would run on a line of its own.
            QProcess shell;
            shell.start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' ") + commands[i]});
            QVERIFY(shell.waitForFinished(10000));
            const QStringList words = QString::fromUtf8(shell.readAllStandardOutput())
                                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(words, expected[i]);
        }
    }

private:
    app::Preferences& m_prefs() {
        m_shortcutPrefs = std::make_unique<app::Preferences>(path());
        return *m_shortcutPrefs;
    }
    QTemporaryDir m_dir;
    std::unique_ptr<app::Preferences> m_shortcutPrefs;
};

QTEST_MAIN(PreferencesTest)
#include "test_preferences.moc"
