#include "alarm/embeddedsound.h"
#include "config/configfiles.h"
#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "services/configwriter.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/fakeclock.h"
#include "widgets/clickablelabel.h"
#include "widgets/mainwindow.h"
#include "widgets/soundchooser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace zorvane;

namespace {

class RecordingMessages final : public schedule::MessageSink {
public:
    void showMessage(const text::Message& message) override { texts.push_back(message); }
    std::vector<text::Message> texts;
};

// Answers the modal dialog: records what it was asked and returns `answer`,
// after wandering off to another directory as a real dialog may.
struct DialogDouble {
    QString answer;
    QString wanderTo;
    int calls = 0;
    QWidget* owner = nullptr;
    QString initialDir;
    QString title;
    QString nameFilter;

    app::FileDialog function() {
        return [this](QWidget* o, const QString& dir, const QString& t, const QString& f) {
            ++calls;
            owner = o;
            initialDir = dir;
            title = t;
            nameFilter = f;
            if (!wanderTo.isEmpty()) {
                QDir::setCurrent(wanderTo);
            }
            return answer;
        };
    }
};

} // namespace

class SoundChooserTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_startDir = QDir::currentPath();
        QVERIFY(m_sdlDir.isValid());
        // The tick may sound the alarm: keep it off the machine's speakers.
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", m_sdlDir.filePath("speaker.raw").toUtf8());
    }

    void init() {
        QDir::setCurrent(m_startDir);
        m_dir = std::make_unique<QTemporaryDir>();
        m_elsewhere = std::make_unique<QTemporaryDir>();
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session,
                                                     app::WindowSetup{.messages = &m_messages});
        m_window->soundChooser()->setFileDialog(m_dialog.function());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dialog = DialogDouble{};
        m_messages.texts.clear();
        QDir::setCurrent(m_startDir);
    }

    void choosingAFileStoresAndShowsIt() {
        const QString chosen = m_elsewhere->filePath("钟声 bell.wav");
        m_dialog.answer = chosen;
        m_dialog.wanderTo = m_elsewhere->path();
        pressSoundLabel();

        QCOMPARE(m_dialog.calls, 1);
        QCOMPARE(m_dialog.owner, m_window.get());
        QCOMPARE(m_dialog.initialDir, m_dir->path());
        QCOMPARE(m_dialog.title, QStringLiteral("打开文件"));
        QCOMPARE(m_dialog.nameFilter, QStringLiteral("*.wav"));
        QCOMPARE(m_window->soundPathEdit()->text(), chosen);
        m_session->writer().flush();
        QCOMPARE(QString::fromStdString(config::readSoundPath(m_dir->path().toStdString())),
                 chosen);
        QCOMPARE(QDir::currentPath(), m_startDir);
        // The file does not exist: the user is told so, and the choice stays.
        QTRY_COMPARE(m_messages.texts.size(), std::size_t(1));
        QCOMPARE(m_messages.texts[0],
                 app::unplayableSoundMessage(chosen.toStdString(),
                                             text::Message(text::MessageId::SoundMissing)));
        QCOMPARE(m_window->soundPathEdit()->text(), chosen);
    }

    void aChosenFileThatCannotBePlayedIsReportedWithItsReason() {
        const QDir dir(m_elsewhere->path());
        const std::string pipe = dir.filePath(QStringLiteral("pipe.wav")).toStdString();
        QCOMPARE(::mkfifo(pipe.c_str(), 0600), 0);
        QFile text(dir.filePath(QStringLiteral("text.wav")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("plain words");
        text.close();
        QFile sound(dir.filePath(QStringLiteral("钟声.wav")));
        QVERIFY(sound.open(QIODevice::WriteOnly));
        const std::string wav = alarm::embeddedAlarmSound();
        sound.write(wav.data(), static_cast<qint64>(wav.size()));
        sound.close();

        struct Case {
            QString file;
            text::Message reason; // empty when it plays
        };
        const Case cases[] = {
            {sound.fileName(), {}},
            {QString::fromStdString(pipe), text::Message(text::MessageId::SoundNotRegular)},
            {text.fileName(), text::Message(text::MessageId::SoundNotWav)},
        };
        for (const Case& c : cases) {
            m_messages.texts.clear();
            m_dialog.answer = c.file;
            pressSoundLabel();
            QCOMPARE(m_window->soundPathEdit()->text(), c.file);
            if (c.reason.empty()) {
                // Decoding a good file takes a moment; nothing may be told meanwhile.
                QTest::qWait(1500);
                QVERIFY(m_messages.texts.empty());
            } else {
                QTRY_COMPARE(m_messages.texts.size(), std::size_t(1));
                QCOMPARE(m_messages.texts[0],
                         app::unplayableSoundMessage(c.file.toStdString(), c.reason));
            }
        }
    }

    void cancellingClearsTheChoice() {
        m_window->soundPathEdit()->setText(QStringLiteral("/old/choice.wav"));
        QVERIFY(config::writeSoundPath(m_dir->path().toStdString(), "/old/choice.wav"));
        m_dialog.answer = QString();
        m_dialog.wanderTo = m_elsewhere->path();
        pressSoundLabel();

        QCOMPARE(m_dialog.calls, 1);
        QCOMPARE(m_window->soundPathEdit()->text(), QString());
        m_session->writer().flush();
        const auto file = config::soundFilePath(m_dir->path().toStdString());
        QVERIFY(QFileInfo::exists(QString::fromStdString(file.string())));
        QCOMPARE(config::readSectionKeys(file, "m"), std::vector<std::string>{"m"});
        QCOMPARE(config::readSoundPath(m_dir->path().toStdString()), std::string());
        QCOMPARE(QDir::currentPath(), m_startDir);
        QTest::qWait(200);
        QVERIFY(m_messages.texts.empty());
    }

    void openFileDialogFillsInItsDefaults() {
        DialogDouble dialog;
        dialog.answer = QStringLiteral("/x/y.wav");
        dialog.wanderTo = m_elsewhere->path();
        QCOMPARE(app::openFileDialog(nullptr, {}, {}, {}, false, dialog.function()),
                 QStringLiteral("/x/y.wav"));
        QCOMPARE(dialog.initialDir, m_startDir);
        QCOMPARE(dialog.title, QStringLiteral("打开文件"));
        QCOMPARE(dialog.nameFilter, QStringLiteral("所有文件(*.*)"));
        QCOMPARE(QDir::currentPath(), m_startDir);

        QCOMPARE(app::openFileDialog(nullptr, QStringLiteral("/start"), QStringLiteral("选择"),
                                     QStringLiteral("声音|*.wav"), true, dialog.function()),
                 QStringLiteral("/x/y.wav"));
        QCOMPARE(dialog.initialDir, QStringLiteral("/start"));
        QCOMPARE(dialog.title, QStringLiteral("选择"));
        // Kept where the dialog left it.
        QCOMPARE(QDir::currentPath(), QDir(m_elsewhere->path()).canonicalPath());
    }

    void filterListsBecomeQtNameFilters() {
        QCOMPARE(app::nameFilterFromList(QStringLiteral("*.wav")), QStringLiteral("*.wav"));
        QCOMPARE(app::nameFilterFromList(QStringLiteral("WAV 文件|*.wav|所有文件|*.*")),
                 QStringLiteral("WAV 文件 (*.wav);;所有文件 (*.*)"));
        QCOMPARE(app::nameFilterFromList(QStringLiteral("声音|*.wav;*.mid")),
                 QStringLiteral("声音 (*.wav *.mid)"));
        QCOMPARE(app::nameFilterFromList(QStringLiteral("只有说明")),
                 QStringLiteral("只有说明 (*)"));
        QCOMPARE(app::nameFilterFromList(QStringLiteral("声音|")), QStringLiteral("声音 (*)"));
    }

    void settingsFollowTheBoxesForTheWorker() {
        QLineEdit& warn = *m_window->warnMinutesEdit();
        QLineEdit& sound = *m_window->soundPathEdit();
        const schedule::Settings& settings = m_session->tick()->settings();
        QCOMPARE(settings.warnMinutesText(), std::string("5"));
        QCOMPARE(settings.soundPathText(), std::string());

        // A worker reads while the window thread types.
        std::atomic<bool> done{false};
        std::atomic<int> oddReads{0};
        std::thread reader([&] {
            while (!done) {
                const std::string w = settings.warnMinutesText();
                if (w != "5" && w != "1" && w != "10") {
                    ++oddReads;
                }
                (void)settings.soundPathText();
            }
        });
        for (int i = 0; i < 200; ++i) {
            warn.setText(QStringLiteral("1"));
            warn.setText(QStringLiteral("10"));
            sound.setText(QStringLiteral("/a/b%1.wav").arg(i));
        }
        done = true;
        reader.join();
        QCOMPARE(oddReads.load(), 0);
        QCOMPARE(settings.warnMinutesText(), std::string("10"));
        QCOMPARE(settings.soundPathText(), std::string("/a/b199.wav"));
        warn.setText(QString());
        QCOMPARE(settings.warnMinutesText(), std::string());
    }

    void theTickCountsAndSoundsTheBuiltInAlarm() {
        schedule::BossTable& table = m_session->table();
        const int row = table.appendRow();
        table.setCheckState(row, true);
        // Five minutes before the row is due, by the window's clock (21:05:09).
        table.setCellTexts(table.rowId(row), {{schedule::kPeriodColumn, "30"},
                                              {schedule::kLastTimeColumn, "20:40:09"},
                                              {schedule::kNextTimeColumn, "21:10:09"}});
        const QString working = QDir(m_dir->path()).filePath(QStringLiteral("1.wav"));
        QTRY_COMPARE_WITH_TIMEOUT(
            QString::fromStdString(table.cellText(row, schedule::kCountdownColumn)),
            QStringLiteral("00时05分00秒"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(working).size(), qint64(4'608'044), 15000);
    }

private:
    void pressSoundLabel() {
        auto* label = m_window->findChild<app::ClickableLabel*>(QStringLiteral("标签3"));
        QVERIFY(label);
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    }

    QString m_startDir;
    QTemporaryDir m_sdlDir;
    testing::FakeClock m_clock{21, 5, 9};
    RecordingMessages m_messages;
    DialogDouble m_dialog;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(SoundChooserTest)
#include "test_soundchooser.moc"
