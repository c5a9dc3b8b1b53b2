#pragma once
// The one window of the program: the top rows at their fixed places, the grid and the
// announcement pane filling the rest of a window that can grow; the
// start-up sequence and the handlers of the components' events. The components keep
// their object names (按钮2, 高级表格1, ...): see the glossary in ARCHITECTURE.md.

#include "cli/commandline.h"
#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "widgets/messagebox.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTextBrowser;
class QToolButton;

namespace zorvane::app {

class AlertCenter;
class AlertTray;
class PreferencesDialog;
class AwayPanel;
class BossGrid;
class ClickableLabel;
class GridController;
class BossNoteDialog;
class HistoryDialog;
class LeadTimesDialog;
class LinesDialog;
class SpawnRuleDialog;
class Overlay;
class PortalShortcuts;
class BossListDialogs;
class BossListTransfer;
class Questions;
class RoomOffersPanel;
class RoomPanel;
class RoomStatusLine;
class RowMenu;
class Session;
class SoundChooser;
class WriteNotice;

// What the window takes besides its session; tests hand in their own.
struct WindowSetup {
    // Address of the announcement page fetched at start-up.
    std::string announcementUrl = {};
    // Where the program's messages go; nullptr means the "信息：" message box.
    schedule::MessageSink* messages = nullptr;
    // The announcement helper program; empty: the one beside the executable.
    std::string announcementFetcher = {};
    // Where the grid's questions go (delete? how many minutes ago?); nullptr means the
    // real boxes.
    Questions* questions = nullptr;
    // Where exporting and importing boss lists asks (files, the merge report); nullptr means
    // the real dialogs.
    BossListDialogs* bossListDialogs = nullptr;
    // What went wrong before the window was made (also printed, which a window started
    // from the menu never shows), told in the notice line: the translations that could not
    // be installed, and why a second start cannot be handed over to this window.
    QStringList missingTranslations = {};
    QString instanceProblem = {};
    // Binds the global keys through the desktop portal on the session bus after the first
    // paint (services/portalshortcuts.h); off where a test does not ask for it.
    bool portalShortcuts = false;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the components over the session's services and runs onWindowCreated() before
    // returning. The session needs the countdown (its global objects drive the clock and the
    // announcement too) and must outlive the window.
    explicit MainWindow(Session& session, WindowSetup setup = {}, QWidget* parent = nullptr);
    // Stops the workers first: no handler may run on a destroyed window.
    ~MainWindow() override;

    QPushButton* startStopButton() const { return m_startStopButton; }
    QLabel* clockLabel() const { return m_clockLabel; }
    QLineEdit* warnMinutesEdit() const { return m_warnMinutesEdit; }
    QLineEdit* soundPathEdit() const { return m_soundPathEdit; }
    BossGrid* grid() const { return m_grid; }
    QPushButton* addButton() const { return m_addButton; }
    QPushButton* deleteButton() const { return m_deleteButton; }
    QTextBrowser* viewer() const { return m_viewer; }
    SoundChooser* soundChooser() const { return m_soundChooser; }
    // The panel of cycles that came due while the program was not running; nullptr when
    // there were none (or the program had never recorded when it last ran).
    AwayPanel* awayPanel() const { return m_awayPanel; }
    // The line that tells which file could not be written (or what went wrong with the
    // history database); hidden while all is well.
    WriteNotice* writeNotice() const { return m_writeNotice; }
    // The grid's right-click menu; features add their entries to it.
    RowMenu* rowMenu() const { return m_rowMenu; }
    // The grid's controller: editing, the sorted view and the undo stack.
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
    // The row's boss's note; nullptr when the row is gone.
    BossNoteDialog* openNote(schedule::RowId row);
    // 分组…: asks for the row's boss's group (an existing one or a new one); false when the
    // row is gone or unnamed, the question was cancelled, or the group could not be kept.
    bool askGroup(schedule::RowId row);
    // The boss's servers and lines (its row menu's 分线与服务器…).
    LinesDialog* openLines(schedule::RowId row);
    QLineEdit* filterEdit() const { return m_filterEdit; }
    // Opens the row's lead-time dialog (non-modal); nullptr when the row is gone.
    LeadTimesDialog* openLeadTimes(schedule::RowId row);
    SpawnRuleDialog* openSpawnRule(schedule::RowId row);
    // The row's boss was killed by others: it is no longer up, and no kill time is made up.
    void markTakenByOthers(schedule::RowId row);

    // A command a second start in the same directory handed over (cli/singleinstance.h):
    // --kill and --list as the session carries them out, none brings the window forward.
    CommandResult runHandedOverCommand(const CommandLine& command);
    // Why a second start cannot be handed over to this window, in the notice line (also
    // found after the window was made: it listens after its first paint).
    void showInstanceProblem(const QString& problem);

    void onStartStopClicked();
    // Stops every sound now playing (Esc, 静音 in the tray or a notification, 停止).
    void silence();
    // Raises the window and selects the row (显示 in a notification).
    void showRow(schedule::RowId row);
    // Opens the preferences dialog, or raises it when it is open.
    PreferencesDialog* openPreferences();
    QPushButton* preferencesButton() const { return m_preferencesButton; }
    // The window's menu (☰ at the right of the top row): preferences, the announcement pane,
    // boss lists, quit.
    QToolButton* menuButton() const { return m_menuButton; }
    // 导出首领列表… and 导入首领列表… of the menu.
    BossListTransfer& bossLists() { return *m_bossLists; }
    // Folds or unfolds the announcement pane and remembers the choice.
    void setAnnouncementFolded(bool folded);
    bool announcementShown() const;
    // Ends the program (退出 in the window's menu and the tray's), whatever the tray.
    void quit();
    AlertTray* tray() const { return m_tray; }
    // The global keys through the desktop portal; nullptr until bound was asked (after the
    // first paint, when the setup asks for it).
    PortalShortcuts* portalShortcuts() const { return m_portal; }
    // What a global key does, by the portal's shortcut id ("kill", "overlay", "silence").
    void runGlobalShortcut(const QString& id);
    // The room's state line, beside the write notice.
    RoomStatusLine* roomStatusLine() const { return m_roomLine; }
    // Opens the panel of bosses on offer from the room, or raises it.
    RoomOffersPanel* openRoomOffers();
    // The room panel: role, members' counts and refusals, the audit trail (the state line's
    // click).
    RoomPanel* openRoomPanel();
    // Runs on the clock timer's worker: hands the clock text to the window thread.
    void onClockTick();
    // Stores the warning minutes box's content as typed, on every change.
    void onWarnMinutesChanged(const QString& text);

protected:
    // The overlay is a window of its own: it goes with the main window, so closing the
    // main window still ends the program.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Minimised, hidden into the tray and back: see followScreenPresence.
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // While the window is minimised or hidden, the clock makes no text and counts that only
    // moved are not handed over, unless the overlay shows them; alerts go on. Shown again,
    // the clock and the counts are brought up to date at once.
    void followScreenPresence();
    QString clockText() const;
    void buildComponents();
    void buildMenu();
    // Places the grid and the announcement pane in the window's size: the grid takes what
    // the top rows and the pane leave.
    void layoutGrown();
    // Tells the notice line whether a preference reached preferences.ini.
    void noteStored(bool written);
    // The tick's thread could not be made: 启动 again, and the notice line says so.
    void tickNotStarted();
    void onWindowCreated();
    // The warning minutes read with the table; the default when there are none.
    void showStoredWarnMinutes(const std::string& stored);
    void wireAlarm();
    // Lists the rows missed since the program was last seen running.
    void showMissedWhileAway();
    void wireHistory();
    void wireAlerts();
    void wireRoom();
    void toggleWindow();
    // Shortcuts, the Tab order, the sorted view and the row menu's grid entries.
    void wireKeyboard();
    void wireOverlay();
    // The groups from the notes, the filter box and what the grid remembers of both.
    void wireGroups();
    // Line rows in the grid, their menu and the boss's 分线与服务器….
    void wireLines();
    void bindPortalShortcuts();

    Session& m_session;
    WindowSetup m_setup;
    QPushButton* m_startStopButton = nullptr;
    bool m_tickRunning = true; // the window starts with the timer running
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QLabel* m_warnLabel = nullptr;
    QLineEdit* m_warnMinutesEdit = nullptr;
    // Read by the clock timer's worker.
    std::atomic<bool> m_clockShown{false};
    QLabel* m_clockLabel = nullptr;
    QLabel* m_noteIcon = nullptr;
    QLineEdit* m_soundPathEdit = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    ClickableLabel* m_soundLabel = nullptr;
    AwayPanel* m_awayPanel = nullptr;
    BossGrid* m_grid = nullptr;
    QTextBrowser* m_viewer = nullptr;
    QToolButton* m_menuButton = nullptr;
    QAction* m_foldAction = nullptr;
    bool m_quitting = false;
    WriteNotice* m_writeNotice = nullptr;
    RowMenu* m_rowMenu = nullptr;
    QPushButton* m_preferencesButton = nullptr;
    QPushButton* m_overlayButton = nullptr;
    QAction* m_overlayClickThrough = nullptr;
    QShortcut* m_silenceShortcut = nullptr;
    AlertTray* m_tray = nullptr;
    PortalShortcuts* m_portal = nullptr;
    AlertCenter* m_alertCenter = nullptr;
    QPointer<PreferencesDialog> m_preferencesDialog;
    RoomStatusLine* m_roomLine = nullptr;
    QPointer<RoomOffersPanel> m_offersPanel;
    QPointer<RoomPanel> m_roomPanel;

    // The controller (and with it the grid's model) goes before the child widgets (the
    // write notice among them), which the base class destroys.
    MessageBoxSink m_messageBox;
    std::unique_ptr<Questions> m_questionBoxes;
    std::unique_ptr<BossListDialogs> m_bossListDialogs;
    std::unique_ptr<BossListTransfer> m_bossLists;
    std::unique_ptr<GridController> m_gridController;
    // Reads the controller's model: goes first.
    std::unique_ptr<Overlay> m_overlay;
    SoundChooser* m_soundChooser = nullptr;
};

} // namespace zorvane::app
