// The window in English and in Chinese: English leaves no Chinese text outside the data
// rows; Chinese also reaches Qt's own buttons and dialogs.
#include "history/killtexts.h"
#include "periodic/globals.h"
#include "schedule/cycle.h"
#include "schedule/leadtimes.h"
#include "schedule/tableops.h"
#include "services/coretexts.h"
#include "services/language.h"
#include "services/preferences.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "widgets/alerttray.h"
#include "widgets/awaypanel.h"
#include "widgets/bossgrid.h"
#include "widgets/historydialog.h"
#include "widgets/leadtimesdialog.h"
#include "widgets/mainwindow.h"
#include "widgets/overlay.h"
#include "widgets/preferencesdialog.h"
#include "widgets/rowmenu.h"
#include "widgets/spawnruledialog.h"
#include "widgets/writenotice.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

#include <memory>

using namespace zorvane;

namespace {

// Every text a user can read on widget and its children, each followed by a tab and where
// it was found (object names are not translated); the
// grid's cells (the user's data) and the language names are left out.
void collectTexts(QWidget* widget, QStringList& out) {
    const QString where = widget->objectName().isEmpty()
                              ? QString::fromLatin1(widget->metaObject()->className())
                              : widget->objectName();
    auto add = [&](const QString& text) {
        if (!text.isEmpty()) {
            out << text + QStringLiteral("\t(") + where + QLatin1Char(')');
        }
    };
    add(widget->windowTitle());
    add(widget->toolTip());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        add(label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        add(button->text());
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        add(edit->placeholderText());
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        add(spin->suffix());
        add(spin->specialValueText());
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            add(tabs->tabText(i));
        }
    } else if (auto* header = qobject_cast<QHeaderView*>(widget)) {
        for (int i = 0; header->model() && i < header->count(); ++i) {
            for (const int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)}) {
                add(header->model()->headerData(i, header->orientation(), role).toString());
            }
        }
    }
    for (QAction* action : widget->actions()) {
        add(action->text());
        add(action->toolTip());
    }
    if (widget->objectName() == QLatin1String("languageBox")) {
        return; // each language is named in itself
    }
    for (QObject* child : widget->children()) {
        if (auto* childWidget = qobject_cast<QWidget*>(child)) {
            collectTexts(childWidget, out);
        }
    }
}

QStringList withChinese(const QStringList& texts) {
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}"
                                                       "\\x{ff00}-\\x{ffef}]"));
    QStringList found;
    for (const QString& text : texts) {
        if (cjk.match(text.section(QLatin1Char('\t'), 0, 0)).hasMatch()) {
            found << text;
        }
    }
    return found;
}

void removeTranslators() {
    for (auto* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_globals = std::make_unique<periodic::AppGlobals>();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
        removeTranslators();
    }

    void englishWindowHasNoChineseOutsideTheData() {
        QCOMPARE(app::installTranslators(QStringLiteral("en")), QStringList());
        QCOMPARE(app::windowLanguage(), QStringLiteral("en"));
        openWindow();
        // A row of data, so the row menu has entries; its cells are not walked.
        m_window->findChild<QPushButton*>(QStringLiteral("按钮1"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->clockLabel()->text().startsWith(QStringLiteral("Beijing")), 2000);

        QStringList texts;
        collectTexts(m_window.get(), texts);
        QVERIFY(texts.contains(QStringLiteral("Stop\t(按钮2)")));
        QVERIFY(!texts.filter(QStringLiteral("Countdown\t")).isEmpty());
        for (QMenu* menu : {m_window->tray()->menu()}) {
            collectTexts(menu, texts);
        }
        const std::unique_ptr<QMenu> rowMenu = m_window->rowMenu()->menuForRow(1);
        QVERIFY(rowMenu);
        collectTexts(rowMenu.get(), texts);
        app::PreferencesDialog* preferences = m_window->openPreferences();
        QVERIFY(preferences);
        collectTexts(preferences, texts);
        QVERIFY(!texts.filter(QStringLiteral("Language:\t")).isEmpty());
        if (qEnvironmentVariableIsSet("ZORVANE_SCREENSHOT")) {
            preferences->findChild<QTabWidget*>()->setCurrentIndex(3);
            preferences->grab().save(qEnvironmentVariable("ZORVANE_SCREENSHOT") +
                                     QStringLiteral(".preferences.png"));
        }
        m_window->overlay()->show();
        collectTexts(m_window->overlay(), texts);
        const QStringList chinese = withChinese(texts);
        QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(QLatin1Char('\n'))));

        // The start/stop state is kept, not read back from the caption.
        auto* startStop = m_window->startStopButton();
        startStop->click();
        QCOMPARE(startStop->text(), QStringLiteral("Start"));
        startStop->click();
        QCOMPARE(startStop->text(), QStringLiteral("Stop"));

        const QImage image = m_window->grab().toImage();
        const QString path = qEnvironmentVariable("ZORVANE_SCREENSHOT",
                                                  m_dir->filePath(QStringLiteral("english.png")));
        QVERIFY(image.save(path));
    }

    // The dialogs, panels and lines the window opens, in English: only data stays Chinese.
    void englishDialogsHaveNoChineseOutsideTheData() {
        QCOMPARE(app::installTranslators(QStringLiteral("en")), QStringList());
        {
            // A room nobody can reach, so the room line has a reason to tell.
            app::Preferences preferences(m_dir->filePath(app::Preferences::fileName()));
            QVERIFY(preferences.roomLink.set(QStringLiteral("mqtt://127.0.0.1:1/guild")));
        }
        openWindow();
        m_window->findChild<QPushButton*>(QStringLiteral("按钮1"))->click();
        // A boss name in Latin letters: the names are data, and only the rest is checked.
        m_session->table().setCellText(1, schedule::kNameColumn, "Red Dragon");
        const schedule::RowId row = m_session->table().rowId(1);
        const std::unique_ptr<QMenu> rowMenu = m_window->rowMenu()->menuForRow(1);
        rowMenu->actions().constFirst()->trigger(); // killed now
        const QModelIndex countdown =
            m_window->grid()->model()->index(0, schedule::kCountdownColumn);
        QTRY_VERIFY_WITH_TIMEOUT(countdown.data(Qt::DisplayRole).toString().contains(u':'), 3000);

        QList<QWidget*> shown;
        QStringList texts{countdown.data(Qt::DisplayRole).toString() + QStringLiteral("\t(grid)")};
        app::HistoryDialog* history = m_window->openHistory(row);
        QVERIFY(history);
        QTRY_COMPARE(history->killTable()->rowCount(), 1);
        texts << history->killTable()->item(0, 1)->text() + QStringLiteral("\t(kill source)");
        shown << history;
        app::LeadTimesDialog* leadTimes = m_window->openLeadTimes(row);
        QVERIFY(leadTimes);
        leadTimes->ownBox()->setChecked(true);
        leadTimes->listEdit()->setText(QStringLiteral("5, abc"));
        QVERIFY(!leadTimes->noteLabel()->text().isEmpty());
        shown << leadTimes;
        app::SpawnRuleDialog* spawnRule = m_window->openSpawnRule(row);
        QVERIFY(spawnRule);
        spawnRule->zoneBox()->setEditText(QStringLiteral("Mars/Olympus"));
        QVERIFY(!spawnRule->chosenRule());
        shown << spawnRule;
        const QModelIndex name = m_window->grid()->model()->index(0, schedule::kNameColumn);
        QTRY_VERIFY(!name.data(Qt::ToolTipRole).toString().isEmpty());
        texts << name.data(Qt::ToolTipRole).toString() + QStringLiteral("\t(spawn state)");
        const schedule::UtcSeconds start = 1796000000;
        app::AwayPanel away({{row, "赤炎魔王", start, 3, start + 3600, 5000}});
        texts << away.list()->item(0, 4)->text() + QStringLiteral("\t(away left)");
        shown << &away;
        QTRY_VERIFY_WITH_TIMEOUT(m_session->room()->statusText().contains(QStringLiteral("broker")),
                                 10000);
        texts << m_session->room()->statusText() + QStringLiteral("\t(room state)");
        m_window->writeNotice()->writeFailed(
            "/d/history.sqlite",
            text::Message(text::MessageId::HistoryCannotOpen,
                          {text::Message::literal("/d/history.sqlite"),
                           text::Message(text::MessageId::HistoryNotRegularFile)}));
        QTRY_VERIFY(m_window->writeNotice()->isVisible());
        shown << m_window->writeNotice();
        for (QWidget* widget : shown) {
            collectTexts(widget, texts);
        }
        const QStringList chinese = withChinese(texts);
        QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(QLatin1Char('\n'))));
        QVERIFY(texts.contains(QStringLiteral("context menu\t(kill source)")));
        QVERIFY(texts.contains(QStringLiteral("01:23:20\t(away left)")));

        const QString shots = qEnvironmentVariable("ZORVANE_SCREENSHOT_DIR", m_dir->path());
        QVERIFY(history->grab().save(shots + QStringLiteral("/history.png")));
        QVERIFY(leadTimes->grab().save(shots + QStringLiteral("/leadtimes.png")));
        QVERIFY(spawnRule->grab().save(shots + QStringLiteral("/spawnrule.png")));
        QVERIFY(away.grab().save(shots + QStringLiteral("/away.png")));
        QVERIFY(m_window->grab().save(shots + QStringLiteral("/window.png")));
        app::PreferencesDialog* preferences = m_window->openPreferences();
        auto* pages = preferences->findChild<QTabWidget*>();
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QVERIFY(preferences->grab().save(shots + QStringLiteral("/preferences%1.png").arg(i)));
        }
    }

    // Every message has an English text with the same placeholders as its source.
    void englishTranslationIsComplete() {
        QFile file(QStringLiteral(ZORVANE_TRANSLATIONS_DIR "/zorvane_en.ts"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        static const QRegularExpression placeholder(QStringLiteral("%\\d"));
        auto placeholders = [](const QString& text) {
            QStringList found;
            for (const auto& match : placeholder.globalMatch(text)) {
                found << match.captured();
            }
            found.sort();
            return found;
        };
        QString source;
        int messages = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                const QString type = xml.attributes().value(QLatin1String("type")).toString();
                const QString english = xml.readElementText();
                QVERIFY2(type.isEmpty() && !english.isEmpty(), qPrintable(source));
                QVERIFY2(withChinese({english}).isEmpty(), qPrintable(english));
                QCOMPARE(placeholders(english), placeholders(source));
                ++messages;
            }
        }
        QVERIFY(!xml.hasError());
        QVERIFY(messages > 100);
    }

    // The core's messages: Chinese by default (the wording files keep), English once the
    // translation is installed, values filled in once and messages inside messages too.
    void coreMessagesInBothLanguages() {
        using text::Message;
        using text::MessageId;
        const struct {
            Message message;
            const char* chinese;
            const char* english;
        } cases[] = {
            {Message(MessageId::WholeNumber), "请输入整数数字", "Please enter a whole number"},
            {schedule::parseLeadTimes("x1").error, "“x1”不是整数分钟",
             "“x1” is not a whole number of minutes"},
            {schedule::parseLeadTimes("0").error, "“0”不在 1 到 10080 分钟之间",
             "“0” is not between 1 and 10080 minutes"},
            {schedule::parseLeadTimes("%2").error, "“%2”不是整数分钟",
             "“%2” is not a whole number of minutes"},
            {schedule::leadTimesNote({30, 60}, 30),
             "提前 30, 60 分钟的提醒不会响：不短于周期 30 分钟",
             "the reminders 30, 60 minutes ahead will not sound: they are not shorter than the "
             "period of 30 minutes"},
            {schedule::countdownMessage(1800), "00时30分00秒", "00:30:00"},
            {schedule::countdownMessage(2 * 86400 + 3600), "2天01时00分00秒", "2 d 01:00:00"},
            {history::durationMessage(-725), "-12分05秒", "-12 min 05 s"},
            {history::durationMessage(3 * 86400 + 4 * 3600 + 5 * 60), "3天04时05分",
             "3 d 04 h 05 min"},
            {history::sourceMessage(schedule::KillSource::Menu), "右键菜单", "context menu"},
            {Message(MessageId::HistoryCannotOpen, {Message::literal("/d/history.sqlite"),
                                                    Message(MessageId::HistoryNotRegularFile)}),
             "无法打开历史记录数据库，击杀暂不记入历史：/d/history.sqlite（该路径不是普通文件）",
             "Cannot open the history database, kills are not recorded for now: "
             "/d/history.sqlite (the path is not a regular file)"},
            {Message(MessageId::ReasonsJoined,
                     {Message(MessageId::AnnouncementDownloadFailed,
                              {Message::literal("Couldn't connect to server")}),
                      Message(MessageId::CannotWrite, {Message::literal("/d/1.htm")})}),
             "下载失败：Couldn't connect to server；无法写入 /d/1.htm",
             "download failed: Couldn't connect to server; cannot write /d/1.htm"},
            {Message::literal("新的消息"), "新的消息", "新的消息"},
        };
        for (const auto& c : cases) {
            QCOMPARE(QString::fromStdString(text::defaultText(c.message)),
                     QString::fromUtf8(c.chinese));
            QCOMPARE(app::messageText(c.message), QString::fromUtf8(c.chinese));
        }
        QVERIFY(!app::showsTranslatedCoreTexts());
        QCOMPARE(app::installTranslators(QStringLiteral("en")), QStringList());
        QVERIFY(app::showsTranslatedCoreTexts());
        for (const auto& c : cases) {
            QCOMPARE(app::messageText(c.message), QString::fromUtf8(c.english));
        }
    }

    // The window translates the core's own wording of every message.
    void windowKnowsEveryCoreMessage() {
        for (int i = 0; i < static_cast<int>(text::MessageId::Count); ++i) {
            const auto id = static_cast<text::MessageId>(i);
            const char* source = app::messageSource(id);
            if (id == text::MessageId::None || id == text::MessageId::Literal) {
                QVERIFY(source == nullptr);
                continue;
            }
            QVERIFY2(source != nullptr, qPrintable(QString::number(i)));
            QCOMPARE(QString::fromUtf8(source),
                     QString::fromUtf8(text::messageTemplate(id).data(),
                                       static_cast<qsizetype>(text::messageTemplate(id).size())));
        }
    }

    void chineseReachesQtsOwnTexts() {
        QCOMPARE(app::installTranslators(QStringLiteral("zh")), QStringList());
        // What --say-next's speech follows.
        QCOMPARE(app::windowLanguage(), QStringLiteral("zh"));
        openWindow();
        QCOMPARE(m_window->startStopButton()->text(), QStringLiteral("停止"));
        QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY(withChinese({buttons.button(QDialogButtonBox::Open)->text()}).size() == 1);
        QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Ok | QMessageBox::Close);
        QVERIFY(withChinese({box.button(QMessageBox::Close)->text()}).size() == 1);
    }

    void languageIsChosenAndStored() {
        app::Preferences preferences(m_dir->filePath(QStringLiteral("preferences.ini")));
        QCOMPARE(preferences.language.get(), QStringLiteral("zh"));
        for (const char* stored : {"fr", "", "EN"}) {
            QVERIFY(preferences.store().setValue(preferences.language.key(),
                                                 QString::fromLatin1(stored)));
            QCOMPARE(preferences.language.get(), QStringLiteral("zh"));
        }
        // Chosen in the dialog, stored for the next start.
        app::PreferencesDialog dialog(preferences);
        auto* box = dialog.findChild<QComboBox*>(QStringLiteral("languageBox"));
        QCOMPARE(box->currentData().toString(), QStringLiteral("zh"));
        box->setCurrentIndex(box->findData(QStringLiteral("en")));
        QVERIFY(dialog.apply());
        QCOMPARE(app::Preferences(preferences.store().filePath()).language.get(),
                 QStringLiteral("en"));
    }

private:
    void openWindow() {
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    testing::FakeClock m_clock{21, 5, 9};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
