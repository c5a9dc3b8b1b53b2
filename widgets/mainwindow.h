#pragma once
// The one window of the program: every component at its fixed place, the
// start-up sequence and the handlers of the components' events. The components keep
// their object names (按钮2, 高级表格1, ...): see the glossary in ARCHITECTURE.md.

#include "cli/commandline.h"
#include "config/configfiles.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"
#include "widgets/messagebox.h"

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTextBrowser;

namespace zorvane::history {
class SqliteKillLog;
}

namespace zorvane::periodic {
class AppGlobals;
}

namespace zorvane::app {

class AlertCenter;
class AlertDispatch;
class AlertTray;
class DesktopNotifier;
class PreferencesDialog;
class AwayPanel;
class BossGrid;
class ConfigWriter;
class ClickableLabel;
class GridController;
class HistoryDialog;
class LeadTimesDialog;
class Overlay;
class Questions;
class Preferences;
class RoomConnection;
class RoomOffersPanel;
class RoomStatusLine;
class RowMenu;
class SoundChooser;
class TickSupport;
class WriteNotice;

// What the window needs from outside; tests hand in their own clock and directory.
struct AppContext {
    periodic::AppGlobals& globals;
    const schedule::Clock& clock;
    // Where config.ini, confing.ini, 1.wav and 1.htm live (UTF-8 path).
    std::string programDir;
    // Address of the announcement page fetched at start-up.
    std::string announcementUrl = {};
    // Where the program's messages go; nullptr means the "信息：" message box.
    schedule::MessageSink* messages = nullptr;
    // The announcement helper program; empty: the one beside the executable.
    std::string announcementFetcher = {};
    // Where the grid's questions go (delete? how many minutes ago?); nullptr means the
    // real boxes.
    Questions* questions = nullptr;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the components and runs onWindowCreated() before returning.
    explicit MainWindow(AppContext context, QWidget* parent = nullptr);
    // Stops the workers first: no handler may run on a destroyed window.
    ~MainWindow() override;

    QPushButton* startStopButton() const { return m_startStopButton; }
    QLabel* clockLabel() const { return m_clockLabel; }
    QLineEdit* warnMinutesEdit() const { return m_warnMinutesEdit; }
    QLineEdit* soundPathEdit() const { return m_soundPathEdit; }
    BossGrid* grid() const { return m_grid; }
    QPushButton* addButton() const { return m_addButton; }
    QPushButton* deleteButton() const { return m_deleteButton; }
    // The boss table shown in the grid; the one store of the rows.
    schedule::BossTable& table() { return m_table; }
    QTextBrowser* viewer() const { return m_viewer; }
    SoundChooser* soundChooser() const { return m_soundChooser; }
    // The panel of cycles that came due while the program was not running; nullptr when
    // there were none (or the program had never recorded when it last ran).
    AwayPanel* awayPanel() const { return m_awayPanel; }
    // The line that tells which file could not be written (or what went wrong with the
    // history database); hidden while all is well.
    WriteNotice* writeNotice() const { return m_writeNotice; }
    // The writer of config.ini and confing.ini (on a thread of its own).
    ConfigWriter& configWriter() const { return *m_tableStore; }
    // The kill history beside config.ini; every recorded kill goes here.
    history::SqliteKillLog& killHistory() const { return *m_killLog; }
    // The user's preferences (preferences.ini beside config.ini).
    Preferences& preferences() const { return *m_preferences; }
    // The grid's right-click menu; features add their entries to it.
    RowMenu* rowMenu() const { return m_rowMenu; }
    // The grid's controller: kills (recordKill), the sorted view and the undo stack.
    GridController& gridController() const { return *m_gridController; }
    // The compact overlay (a window of its own, hidden until the user shows it), made on
    // first use.
    Overlay* overlay();
    QPushButton* overlayButton() const { return m_overlayButton; }
    // Shows or hides the overlay and remembers the choice.
    void toggleOverlay();
    void setOverlayClickThrough(bool on);
    // Opens the history window of a row's boss (not modal); nullptr when the row is gone.
    HistoryDialog* openHistory(schedule::RowId row);
    // Opens the row's lead-time dialog (non-modal); nullptr when the row is gone.
    LeadTimesDialog* openLeadTimes(schedule::RowId row);

    // A command a second start in the same directory handed over (cli/singleinstance.h):
    // --kill goes through the grid's kill path, --list lists the table, none brings the
    // window forward.
    CommandResult runHandedOverCommand(const CommandLine& command);

    void onStartStopClicked();
    // Stops every sound now playing (Esc, 静音 in the tray or a notification, 停止).
    void silence();
    // Raises the window and selects the row (显示 in a notification).
    void showRow(schedule::RowId row);
    // Opens the preferences dialog, or raises it when it is open.
    PreferencesDialog* openPreferences();
    QPushButton* preferencesButton() const { return m_preferencesButton; }
    // Where alerts are shown; the tick's alarm sink passes every alert to it.
    AlertCenter* alertCenter() const { return m_alertCenter; }
    DesktopNotifier* notifier() const { return m_notifier; }
    AlertTray* tray() const { return m_tray; }
    // What the tick's worker uses (the sound device among it).
    TickSupport& tickSupport() const { return *m_tickSupport; }
    // The shared room named in the preferences (joined at start when there is one).
    RoomConnection& room() const { return *m_room; }
    // The room's state line, beside the write notice.
    RoomStatusLine* roomStatusLine() const { return m_roomLine; }
    // Opens the panel of bosses on offer from the room, or raises it.
    RoomOffersPanel* openRoomOffers();
    // Runs on the clock timer's worker: hands the clock text to the window thread.
    void onClockTick();
    // Stores the warning minutes box's content as typed, on every change.
    void onWarnMinutesChanged(const QString& text);

protected:
    // The overlay is a window of its own: it goes with the main window, so closing the
    // main window still ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildComponents();
    void onWindowCreated();
    void startTick();
    // The warning minutes read with the table; the default when there are none.
    void showStoredWarnMinutes(const std::string& stored);
    std::filesystem::path programPath() const;
    void wireAlarm();
    // Lists the rows missed since the program was last seen running, then notes that it
    // runs now and keeps noting it once a minute and at the end.
    void showMissedWhileAway();
    void noteRunning();
    void wireHistory();
    void wireAlertSounds();
    void wireAlerts();
    void wireRoom();
    void toggleWindow();
    // Shortcuts, the Tab order, the sorted view and the row menu's grid entries.
    void wireKeyboard();
    void wireOverlay();

    AppContext m_context;
    // config.ini as read beside the building of the window (see the constructor).
    std::future<std::optional<config::StoredTable>> m_storedTable;
    QPushButton* m_startStopButton = nullptr;
    bool m_tickRunning = true; // the window starts with the timer running
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QLabel* m_warnLabel = nullptr;
    QLineEdit* m_warnMinutesEdit = nullptr;
    QLabel* m_clockLabel = nullptr;
    QLabel* m_noteIcon = nullptr;
    QLineEdit* m_soundPathEdit = nullptr;
    ClickableLabel* m_soundLabel = nullptr;
    AwayPanel* m_awayPanel = nullptr;
    BossGrid* m_grid = nullptr;
    QTextBrowser* m_viewer = nullptr;
    WriteNotice* m_writeNotice = nullptr;
    RowMenu* m_rowMenu = nullptr;
    QPushButton* m_preferencesButton = nullptr;
    QPushButton* m_overlayButton = nullptr;
    QAction* m_overlayClickThrough = nullptr;
    QShortcut* m_silenceShortcut = nullptr;
    DesktopNotifier* m_notifier = nullptr;
    AlertTray* m_tray = nullptr;
    AlertDispatch* m_alertDispatch = nullptr;
    AlertCenter* m_alertCenter = nullptr;
    QPointer<PreferencesDialog> m_preferencesDialog;
    RoomStatusLine* m_roomLine = nullptr;
    QPointer<RoomOffersPanel> m_offersPanel;

    // Declared in the order they are needed; the controller (and with it the grid's
    // model) goes before the table it shows. All go before the child widgets (the
    // write notice among them), which the base class destroys.
    schedule::BossTable m_table;
    std::unique_ptr<ConfigWriter> m_tableStore;
    std::unique_ptr<history::SqliteKillLog> m_killLog;
    MessageBoxSink m_messageBox;
    std::unique_ptr<Questions> m_questionBoxes;
    std::unique_ptr<GridController> m_gridController;
    // Reads the controller's model: goes first.
    std::unique_ptr<Overlay> m_overlay;
    SoundChooser* m_soundChooser = nullptr;
    // preferences.ini beside config.ini.
    std::unique_ptr<Preferences> m_preferences;
    // Used by the tick worker; goes after the destructor has stopped it.
    std::unique_ptr<TickSupport> m_tickSupport;
    // Reports to the window thread; goes first, stopping its client.
    std::unique_ptr<RoomConnection> m_room;
};

} // namespace zorvane::app
