// The boss table through the real window: the grid, its buttons, cell editing with the
// real editor, and the files the program writes, on the offscreen platform.

#include "config/configfiles.h"
#include "history/killhistory.h"
#include "models/bosstablemodel.h"
#include "periodic/globals.h"
#include "services/alertdispatch.h"
#include "services/configwriter.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"
#include "widgets/mainwindow.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace zorvane;
using schedule::BossTable;

namespace {

// Answers the message box at once and remembers what it said.
class RecordingMessages final : public schedule::MessageSink {
public:
    void showMessage(const zorvane::text::Message& message) override {
        texts.push_back(zorvane::text::defaultText(message));
        // What happens while the box would be open.
        if (whileOpen) {
            whileOpen();
        }
    }
    std::vector<std::string> texts;
    std::function<void()> whileOpen;
};

std::vector<std::string> list(std::initializer_list<const char*> items) {
    return {items.begin(), items.end()};
}

} // namespace

class GridTest : public QObject {
    Q_OBJECT

private:
    std::filesystem::path dir() const { return m_dir->path().toStdString(); }
    QString tableFile() const { return m_dir->filePath(QStringLiteral("config.ini")); }
    app::BossGrid* grid() const { return m_window->grid(); }
    BossTable& table() const { return m_session->table(); }
    QString cell(int row, int column) const {
        return QString::fromStdString(table().cellText(row, column));
    }

    void openWindow() {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session,
                                                     app::WindowSetup{.messages = &m_messages});
        // Rows edited here must keep the times the test gives them: no countdown passes.
        m_globals->tickTimer().stop();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void restart() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        openWindow();
    }

    // The program directory once the window's writer has written everything asked of it.
    std::filesystem::path writtenDir() const {
        if (m_window) {
            m_session->writer().flush();
        }
        return dir();
    }

    QByteArray fileBytes() const {
        writtenDir();
        QFile file(tableFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    }

    // What config.ini holds, read back the way the program reads it at start-up.
    std::vector<schedule::BossRow> storedRows() const {
        BossTable stored;
        config::loadTable(stored, writtenDir());
        return stored.rows();
    }

    QPoint cellCentre(int row, int column) const {
        return grid()->visualRect(grid()->model()->index(row - 1, column)).center();
    }

    void click(int row, int column) {
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }

    // What the platform delivers for a double click: press, release, double click, release.
    void doubleClick(int row, int column) {
        QWidget* viewport = grid()->viewport();
        const QPoint pos = cellCentre(row, column);
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    }

    QLineEdit* openEditor() const {
        const auto editors = grid()->viewport()->findChildren<QLineEdit*>();
        for (QLineEdit* editor : editors) {
            if (editor->isVisible()) {
                return editor;
            }
        }
        return nullptr;
    }

    static void typeText(QWidget* widget, const QString& text) {
        for (const QChar ch : text) {
            if (ch.unicode() < 0x80) {
                QTest::keyClick(widget, ch.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch),
                                    Qt::NoModifier);
            }
        }
    }

    // Puts the cursor on the cell, opens its editor with F2, replaces the text and
    // commits it with Enter, as a user would.
    void editCell(int row, int column, const QString& text) {
        grid()->setFocus();
        grid()->setCursorCell(row, column);
        QTest::keyClick(grid(), Qt::Key_F2);
        QLineEdit* editor = openEditor();
        QVERIFY2(editor, "no editor opened");
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        typeText(editor, text);
        // The editor commits its text once the key press has been handled.
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!openEditor());
    }

    void setWarnMinutes(const QString& text) { m_window->warnMinutesEdit()->setText(text); }

    // A row added and saved by an accepted name edit, so the file holds it.
    int addSavedRow(const QString& name) {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        const int row = table().rowCount() - 1;
        editCell(row, schedule::kNameColumn, name);
        return row;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.set(10, 0, 0);
        m_messages.texts.clear();
        m_messages.whileOpen = {};
        openWindow();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void firstStartShowsAnEmptyTableAndStoresFiveMinutes() {
        QCOMPARE(grid()->model()->rowCount(), 0);
        QCOMPARE(table().rowCount(), 1);
        const char* titles[] = {"使用",     "序号",     "BOSS事件", "周期(分)",
                                "延迟(分)", "上次时间", "下次时间", "倒计时"};
        // The countdown column holds countdowns of days too.
        const int widths[] = {40, 40, 200, 80, 80, 100, 100, 130};
        for (int column = 0; column < 8; ++column) {
            QCOMPARE(grid()->model()->headerData(column, Qt::Horizontal).toString(),
                     QString::fromUtf8(titles[column]));
            QCOMPARE(grid()->horizontalHeader()->sectionSize(column), widths[column]);
            QCOMPARE(
                grid()->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                int(Qt::AlignCenter));
        }
        QCOMPARE(grid()->verticalHeader()->defaultSectionSize(), 30);
        QCOMPARE(grid()->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(m_window->warnMinutesEdit()->text(), QStringLiteral("5"));
        QVERIFY(m_window->soundPathEdit()->text().isEmpty());
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("5"));
        QVERIFY(config::readSectionKeys(config::tableFilePath(writtenDir()), "序号").empty());
        QVERIFY(m_messages.texts.empty());
    }

    void storedSettingsAreShownUnchanged() {
        m_window.reset();
        m_session.reset();
        QVERIFY(config::writeWarnMinutes(dir(), "0"));
        QVERIFY(config::writeSoundPath(dir(), "/home/一/alarm.wav"));
        restart();
        QCOMPARE(m_window->warnMinutesEdit()->text(), QStringLiteral("0"));
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("0"));
        QCOMPARE(m_window->soundPathEdit()->text(), QStringLiteral("/home/一/alarm.wav"));
    }

    void warnMinutesBoxStoresEveryChange() {
        QLineEdit* box = m_window->warnMinutesEdit();
        box->selectAll();
        QTest::keyClick(box, '1');
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("1"));
        QTest::keyClick(box, '5');
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("15"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string());
        // An empty value is only replaced by "5" at the next start.
        restart();
        QCOMPARE(m_window->warnMinutesEdit()->text(), QStringLiteral("5"));
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("5"));
    }

    void addAppendsANumberedRowWithoutSaving() {
        const QByteArray before = fileBytes();
        m_clock.set(23, 50, 0);
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QCOMPARE(table().rowCount(), 2);
        QCOMPARE(grid()->model()->rowCount(), 1);
        QVERIFY(!table().checkState(1));
        QCOMPARE(cell(1, 1), QStringLiteral("1"));
        QCOMPARE(cell(1, 2), QString());
        QCOMPARE(cell(1, 3), QStringLiteral("30"));
        QCOMPARE(cell(1, 4), QString());
        QCOMPARE(cell(1, 5), QStringLiteral("23:50:00"));
        QCOMPARE(cell(1, 6), QStringLiteral("00:20:00"));
        QCOMPARE(grid()->model()->data(grid()->model()->index(0, 6)).toString(),
                 QStringLiteral("00:20:00"));
        QCOMPARE(grid()->model()->data(grid()->model()->index(0, 3), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QCOMPARE(grid()->rowHeight(0), 30);
        QCOMPARE(fileBytes(), before);

        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QCOMPARE(cell(2, 1), QStringLiteral("2"));
    }

    void addScrollsToTheNewRow() {
        for (int i = 0; i < 20; ++i) {
            QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        }
        QScrollBar* bar = grid()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(grid()->viewport()->rect().contains(cellCentre(20, 2)));
    }

    void addedRowsAreLostOnRestart() {
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        QCOMPARE(table().rowCount(), 3);
        restart();
        QCOMPARE(table().rowCount(), 1);
        QCOMPARE(grid()->model()->rowCount(), 0);
    }

    void savedTableSurvivesRestart() {
        addSavedRow(QStringLiteral("火龙"));
        addSavedRow(QStringLiteral("Dragon 2"));
        editCell(2, schedule::kDelayColumn, QStringLiteral("3"));
        click(1, schedule::kUseColumn);
        QVERIFY(table().checkState(1));
        const std::vector<schedule::BossRow> before = table().rows();
        restart();
        QCOMPARE(table().rowCount(), 3);
        QCOMPARE(grid()->model()->rowCount(), 2);
        const std::vector<schedule::BossRow> after = table().rows();
        for (std::size_t i = 0; i < 2; ++i) {
            QCOMPARE(after[i].use, before[i].use);
            for (int column = 1; column <= 6; ++column) {
                QCOMPARE(after[i].text[column], before[i].text[column]);
            }
        }
        QCOMPARE(cell(1, 2), QStringLiteral("火龙"));
        QCOMPARE(cell(2, 4), QStringLiteral("3"));
        QCOMPARE(grid()->model()->data(grid()->model()->index(0, 0), Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));
        QCOMPARE(grid()->model()->data(grid()->model()->index(1, 2), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
    }

    void deleteMiddleRowRenumbersAndKeepsTheCursorRow() {
        addSavedRow(QStringLiteral("A"));
        addSavedRow(QStringLiteral("B"));
        addSavedRow(QStringLiteral("C"));
        click(2, schedule::kNameColumn);
        QCOMPARE(grid()->cursorRow(), 2);
        QTest::mouseClick(m_window->deleteButton(), Qt::LeftButton);

        QCOMPARE(table().rowCount(), 3);
        QCOMPARE(grid()->model()->rowCount(), 2);
        QCOMPARE(cell(1, 2), QStringLiteral("A"));
        QCOMPARE(cell(2, 2), QStringLiteral("C"));
        QCOMPARE(cell(2, 1), QStringLiteral("2"));
        QCOMPARE(grid()->cursorRow(), 2);
        QCOMPARE(grid()->cursorColumn(), int(schedule::kNameColumn));

        const std::vector<schedule::BossRow> stored = storedRows();
        QCOMPARE(stored.size(), std::size_t(2));
        QCOMPARE(stored[0].text[2], std::string("A"));
        QCOMPARE(stored[1].text[1], std::string("2"));
        QCOMPARE(stored[1].text[2], std::string("C"));
        QCOMPARE(config::readSectionKeys(config::tableFilePath(writtenDir()), "序号"),
                 list({"1", "2"}));
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("5"));

        // Deleting again at the last row moves the cursor to the new last row.
        QTest::mouseClick(m_window->deleteButton(), Qt::LeftButton);
        QCOMPARE(table().rowCount(), 2);
        QCOMPARE(cell(1, 2), QStringLiteral("A"));
        QCOMPARE(grid()->cursorRow(), 1);
        QCOMPARE(grid()->cursorColumn(), int(schedule::kNameColumn));
    }

    void deleteTheOnlyRowLeavesNoCursorAndKeepsTheWarning() {
        addSavedRow(QStringLiteral("A"));
        click(1, schedule::kPeriodColumn);
        QTest::mouseClick(m_window->deleteButton(), Qt::LeftButton);
        QCOMPARE(table().rowCount(), 1);
        QCOMPARE(grid()->model()->rowCount(), 0);
        QCOMPARE(grid()->cursorRow(), -1);
        QVERIFY(storedRows().empty());
        QVERIFY(config::readSectionKeys(config::tableFilePath(writtenDir()), "序号").empty());
        QCOMPARE(config::readWarnMinutes(writtenDir()), std::string("5"));

        // With no cursor the button does nothing.
        const QByteArray before = fileBytes();
        QTest::mouseClick(m_window->deleteButton(), Qt::LeftButton);
        QCOMPARE(fileBytes(), before);
        restart();
        QCOMPARE(table().rowCount(), 1);
    }

    void doubleClickOnLastTimeRecordsAKillWithoutAnEditor() {
        addSavedRow(QStringLiteral("A"));
        editCell(1, schedule::kPeriodColumn, QStringLiteral("45"));
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        table().setCellText(2, schedule::kPeriodColumn, "");
        m_messages.texts.clear();

        m_clock.set(12, 34, 56);
        doubleClick(1, schedule::kLastTimeColumn);
        QVERIFY(!openEditor());
        QCOMPARE(cell(1, 5), QStringLiteral("12:34:56"));
        QCOMPARE(cell(1, 6), QStringLiteral("13:19:56"));
        std::vector<schedule::BossRow> stored = storedRows();
        QCOMPARE(stored.size(), std::size_t(2));
        QCOMPARE(stored[0].text[5], std::string("12:34:56"));
        QCOMPARE(stored[0].text[6], std::string("13:19:56"));

        // An empty period makes the next time the last time.
        doubleClick(2, schedule::kLastTimeColumn);
        QVERIFY(!openEditor());
        QCOMPARE(cell(2, 5), QStringLiteral("12:34:56"));
        QCOMPARE(cell(2, 6), QStringLiteral("12:34:56"));
        QCOMPARE(storedRows()[1].text[6], std::string("12:34:56"));
        QVERIFY(m_messages.texts.empty());

        // Elsewhere a double click opens the editor and records nothing.
        m_clock.set(13, 0, 0);
        doubleClick(1, schedule::kNameColumn);
        QLineEdit* editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("A"));
        QCOMPARE(cell(1, 5), QStringLiteral("12:34:56"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!openEditor());
    }

    void useCheckBoxIsSavedAtOnce() {
        addSavedRow(QStringLiteral("A"));
        addSavedRow(QStringLiteral("B"));
        click(2, schedule::kUseColumn);
        QVERIFY(table().checkState(2));
        QVERIFY(!table().checkState(1));
        QVERIFY(storedRows()[1].use);
        QVERIFY(!storedRows()[0].use);
        click(2, schedule::kUseColumn);
        QVERIFY(!table().checkState(2));
        QVERIFY(!storedRows()[1].use);

        // The space key toggles the box under the cursor and saves it the same way.
        QTest::keyClick(grid(), Qt::Key_Space);
        QVERIFY(table().checkState(2));
        QVERIFY(storedRows()[1].use);

        // A click elsewhere saves nothing.
        table().setCheckState(1, true);
        const QByteArray before = fileBytes();
        click(1, schedule::kNameColumn);
        QCOMPARE(fileBytes(), before);
    }

    void periodEditsFollowTheWarningMinutes() {
        addSavedRow(QStringLiteral("A"));

        struct Rejected {
            const char* typed;
            const char* warn;
            const char* message;
        };
        const Rejected rejected[] = {
            {"3", "5", "请输入整数数字大于提示预警分钟"},
            {"5", "5", "请输入整数数字大于提示预警分钟"},
            {"", "5", "请输入整数数字大于提示预警分钟"},
            {"", "0", "请输入整数数字大于提示预警分钟"},
            {"1.5", "5", "请输入整数数字"},
            {"-5", "5", "请输入整数数字"},
            {" 5", "5", "请输入整数数字"},
            {"5分", "5", "请输入整数数字"},
            {"１０", "5", "请输入整数数字"},
            {"1e3", "5", "请输入整数数字"},
        };
        for (const Rejected& r : rejected) {
            setWarnMinutes(QString::fromUtf8(r.warn));
            table().setCellText(1, schedule::kPeriodColumn, "45");
            m_messages.texts.clear();
            const QByteArray before = fileBytes();
            editCell(1, schedule::kPeriodColumn, QString::fromUtf8(r.typed));
            QCOMPARE(m_messages.texts, list({r.message}));
            QCOMPARE(cell(1, 3), QStringLiteral("30"));
            QCOMPARE(cell(1, 6), QStringLiteral("10:30:00"));
            QCOMPARE(fileBytes(), before);
        }
        setWarnMinutes(QStringLiteral("5"));
        QCOMPARE(storedRows()[0].text[3], std::string("30"));

        m_messages.texts.clear();
        editCell(1, schedule::kPeriodColumn, QStringLiteral("6"));
        QVERIFY(m_messages.texts.empty());
        QCOMPARE(cell(1, 6), QStringLiteral("10:06:00"));
        editCell(1, schedule::kPeriodColumn, QStringLiteral("10"));
        QVERIFY(m_messages.texts.empty());
        QCOMPARE(cell(1, 3), QStringLiteral("10"));
        QCOMPARE(cell(1, 6), QStringLiteral("10:10:00"));
        QCOMPARE(storedRows()[0].text[3], std::string("10"));
        QCOMPARE(storedRows()[0].text[6], std::string("10:10:00"));
    }

    void periodEditWrapsPastMidnight() {
        m_clock.set(23, 50, 0);
        addSavedRow(QStringLiteral("A"));
        editCell(1, schedule::kPeriodColumn, QStringLiteral("45"));
        QCOMPARE(cell(1, 6), QStringLiteral("00:35:00"));
        editCell(1, schedule::kPeriodColumn, QStringLiteral("30"));
        QCOMPARE(cell(1, 6), QStringLiteral("00:20:00"));
        QCOMPARE(storedRows()[0].text[6], std::string("00:20:00"));

        // A period of many days still gives a time of day, and no overflow.
        editCell(1, schedule::kPeriodColumn, QStringLiteral("99999999999"));
        QVERIFY(m_messages.texts.empty());
        // 2147483647 minutes after 23:50:00 is 01:57:00 of some later day.
        QCOMPARE(cell(1, 6), QStringLiteral("01:57:00"));
    }

    void delayEditsAcceptDigitsOnly() {
        addSavedRow(QStringLiteral("A"));
        editCell(1, schedule::kDelayColumn, QStringLiteral("7"));
        const QByteArray before = fileBytes();
        editCell(1, schedule::kDelayColumn, QStringLiteral("-5"));
        QCOMPARE(m_messages.texts, list({"请输入整数数字"}));
        QCOMPARE(cell(1, 4), QString());
        QCOMPARE(fileBytes(), before);
        QCOMPARE(storedRows()[0].text[4], std::string("7"));

        m_messages.texts.clear();
        editCell(1, schedule::kDelayColumn, QStringLiteral("0"));
        QCOMPARE(storedRows()[0].text[4], std::string("0"));
        editCell(1, schedule::kDelayColumn, QString());
        QCOMPARE(storedRows()[0].text[4], std::string());
        editCell(1, schedule::kDelayColumn, QStringLiteral("120"));
        QCOMPARE(storedRows()[0].text[4], std::string("120"));
        // The delay does not move the next time.
        QCOMPARE(cell(1, 6), QStringLiteral("10:30:00"));
        QVERIFY(m_messages.texts.empty());
    }

    void lastTimeEditsAreCheckedAgainstTheClock() {
        addSavedRow(QStringLiteral("A"));

        editCell(1, schedule::kLastTimeColumn, QStringLiteral("9:5:0"));
        QVERIFY(m_messages.texts.empty());
        QCOMPARE(cell(1, 5), QStringLiteral("9:5:0"));
        QCOMPARE(cell(1, 6), QStringLiteral("09:35:00"));
        QCOMPARE(storedRows()[0].text[5], std::string("9:5:0"));
        QCOMPARE(storedRows()[0].text[6], std::string("09:35:00"));

        editCell(1, schedule::kLastTimeColumn, QStringLiteral("abc 1:2:3 xyz"));
        QVERIFY(m_messages.texts.empty());
        QCOMPARE(cell(1, 5), QStringLiteral("abc 1:2:3 xyz"));
        QCOMPARE(storedRows()[0].text[5], std::string("abc 1:2:3 xyz"));
        // The next time follows from the kill time inside the words.
        QCOMPARE(cell(1, 6), QStringLiteral("01:32:03"));
        editCell(1, schedule::kLastTimeColumn, QStringLiteral("009:05:00"));
        QCOMPARE(cell(1, 6), QStringLiteral("09:35:00"));

        // A refused time records no kill: the row keeps the one it had.
        m_clock.set(11, 0, 0);
        editCell(1, schedule::kPeriodColumn, QStringLiteral("40"));
        editCell(1, schedule::kLastTimeColumn, QStringLiteral("12:00:00"));
        QCOMPARE(m_messages.texts, list({"请正确输入日期"}));
        QCOMPARE(cell(1, 5), QStringLiteral("009:05:00"));
        QCOMPARE(cell(1, 6), QStringLiteral("09:45:00"));
        QCOMPARE(storedRows()[0].text[5], std::string("009:05:00"));
        QCOMPARE(storedRows()[0].text[6], std::string("09:45:00"));

        const char* unreadable[] = {"24:00:00", "12:61:00", "12:30", "later"};
        for (const char* typed : unreadable) {
            m_messages.texts.clear();
            m_clock.set(11, 5, 0);
            editCell(1, schedule::kLastTimeColumn, QString::fromUtf8(typed));
            QCOMPARE(m_messages.texts, list({"请正确输入日期"}));
            QCOMPARE(cell(1, 5), QStringLiteral("009:05:00"));
            QCOMPARE(cell(1, 6), QStringLiteral("09:45:00"));
        }
    }

    void lockedColumnsWarnButKeepTheText() {
        addSavedRow(QStringLiteral("A"));
        const QByteArray before = fileBytes();
        m_messages.texts.clear();
        editCell(1, schedule::kNumberColumn, QStringLiteral("9"));
        QCOMPARE(m_messages.texts, list({"禁止输入", "禁止输入"}));
        QCOMPARE(cell(1, 1), QStringLiteral("9"));
        QCOMPARE(fileBytes(), before);

        for (int column : {int(schedule::kNextTimeColumn), int(schedule::kCountdownColumn)}) {
            m_messages.texts.clear();
            editCell(1, column, QStringLiteral("x"));
            QCOMPARE(m_messages.texts, list({"禁止输入"}));
            QCOMPARE(cell(1, column), QStringLiteral("x"));
            QCOMPARE(fileBytes(), before);
        }
    }

    void typingOpensTheEditorAndEscapeCancels() {
        addSavedRow(QStringLiteral("A"));
        const QByteArray before = fileBytes();
        grid()->setFocus();
        grid()->setCursorCell(1, schedule::kNameColumn);
        QTest::keyClick(grid(), 'Z');
        QLineEdit* editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("Z"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!openEditor());
        QCOMPARE(cell(1, 2), QStringLiteral("A"));
        QCOMPARE(fileBytes(), before);

        // The header row cannot be edited and the use column has no text editor.
        grid()->setCursorCell(1, schedule::kUseColumn);
        QTest::keyClick(grid(), Qt::Key_F2);
        QVERIFY(!openEditor());
    }

    void tabFinishesOneEditBeforeTheNextStarts() {
        addSavedRow(QStringLiteral("A"));
        m_messages.texts.clear();
        grid()->setFocus();
        grid()->setCursorCell(1, schedule::kLastTimeColumn);
        QTest::keyClick(grid(), Qt::Key_F2);
        QLineEdit* editor = openEditor();
        QVERIFY(editor);
        editor->selectAll();
        typeText(editor, QStringLiteral("25:00:00"));
        QTest::keyClick(editor, Qt::Key_Tab);
        QCOMPARE(m_messages.texts, list({"请正确输入日期", "禁止输入"}));
        QCOMPARE(grid()->cursorColumn(), int(schedule::kNextTimeColumn));
        QLineEdit* next = openEditor();
        QVERIFY(next);
        QCOMPARE(next->text(), QStringLiteral("10:30:00"));
        QTest::keyClick(next, Qt::Key_Escape);
    }

    void editorKeepsTypingWhileTheCellIsRewritten() {
        addSavedRow(QStringLiteral("A"));
        grid()->setFocus();
        grid()->setCursorCell(1, schedule::kNameColumn);
        QTest::keyClick(grid(), Qt::Key_F2);
        QLineEdit* editor = openEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        typeText(editor, QStringLiteral("bc"));
        // Another thread rewriting the cell (the countdown does so every second).
        std::thread writer([this] { table().setCellText(table().rowId(1), 2, "tick"); });
        writer.join();
        QTRY_COMPARE(grid()->model()->data(grid()->model()->index(0, 2)).toString(),
                     QStringLiteral("tick"));
        QCOMPARE(editor->text(), QStringLiteral("Abc"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!openEditor());
        QCOMPARE(cell(1, 2), QStringLiteral("Abc"));
        QCOMPARE(storedRows()[0].text[2], std::string("Abc"));
    }

    void messageBoxHasItsCaptionTextAndOkOnly() {
        QString title;
        QString text;
        int buttonCount = 0;
        bool appModal = false;
        bool owned = true;
        int width = 0;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            poll.stop();
            title = box->windowTitle();
            text = box->text();
            buttonCount = static_cast<int>(box->buttons().size());
            appModal = box->windowModality() == Qt::ApplicationModal;
            owned = box->parentWidget() != nullptr;
            width = box->width();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start();
        app::MessageBoxSink sink;
        sink.showMessage(text::Message(text::MessageId::WholeNumber));
        QCOMPARE(title, QStringLiteral("信息："));
        QCOMPARE(text, QStringLiteral("请输入整数数字"));
        QCOMPARE(buttonCount, 1);
        QVERIFY(appModal);
        QVERIFY(!owned);
        // Wide enough for its title beside a short text.
        QVERIFY2(width >= app::kMessageBoxMinimumWidth, qPrintable(QString::number(width)));
    }

    // A refused kill time changes nothing, also while its box is open and the tick counts
    // on: the row keeps its last kill (no negative countdown, no roll-over, no alert),
    // config.ini and the history stay as they were.
    void aRefusedKillTimeChangesNothing() {
        const QString refused[] = {QStringLiteral("25:99"), QStringLiteral("21:30:00"),
                                   QStringLiteral("later")};
        const int row = addSavedRow(QStringLiteral("Boss"));
        editCell(row, schedule::kPeriodColumn, QStringLiteral("60"));
        click(row, schedule::kUseColumn);
        m_clock.set(20, 50, 0);
        doubleClick(row, schedule::kLastTimeColumn);
        QCOMPARE(cell(row, schedule::kLastTimeColumn), QStringLiteral("20:50:00"));
        int alerts = 0;
        connect(m_session->alerts(), &app::AlertDispatch::presented, this, [&] { ++alerts; });
        for (const QString& typed : refused) {
            m_clock.set(21, 0, 0);
            const QByteArray before = fileBytes();
            QString countdownWhileOpen;
            m_messages.texts.clear();
            m_messages.whileOpen = [&] {
                m_session->tick()->onTick();
                countdownWhileOpen = cell(row, schedule::kCountdownColumn);
            };
            editCell(row, schedule::kLastTimeColumn, typed);
            m_messages.whileOpen = {};
            QCOMPARE(m_messages.texts, list({"请正确输入日期"}));
            QCOMPARE(countdownWhileOpen, QStringLiteral("00时50分00秒"));
            QCOMPARE(cell(row, schedule::kLastTimeColumn), QStringLiteral("20:50:00"));
            QCOMPARE(cell(row, schedule::kNextTimeColumn), QStringLiteral("21:50:00"));
            QCOMPARE(fileBytes(), before);
            QCoreApplication::processEvents();
            QCOMPARE(alerts, 0);
            QCOMPARE(m_session->history().recordCount("Boss"), std::int64_t(1));
        }
    }

    void rendersRowsOffscreen() {
        addSavedRow(QStringLiteral("火龙王"));
        addSavedRow(QStringLiteral("Ancient Dragon"));
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        click(1, schedule::kUseColumn);
        table().setCellText(1, 7, "00时29分59秒");
        QCoreApplication::processEvents();
        const QImage image = m_window->grab().toImage();
        QCOMPARE(image.size(), QSize(792, 540));
        const QString path = qEnvironmentVariable("ZORVANE_GRID_SCREENSHOT",
                                                  m_dir->filePath(QStringLiteral("grid.png")));
        QVERIFY(image.save(path));
    }

private:
    testing::FakeClock m_clock{10, 0, 0};
    RecordingMessages m_messages;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(GridTest)
#include "test_grid.moc"
