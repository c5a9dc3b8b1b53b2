#pragma once
// The one window of the program: every component at its fixed place, the
// start-up sequence and the handlers of the components' events.

#include "schedule/bosstable.h"
#include "schedule/clock.h"

#include <QWidget>

#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTextBrowser;

namespace zorvane::app {

class AppGlobals;
class ClickableLabel;
class SoundChooser;
class TickSupport;

// What the window needs from outside; tests hand in their own clock and directory.
struct AppContext {
    AppGlobals& globals;
    const schedule::Clock& clock;
    // Where config.ini, confing.ini, 1.wav and 1.htm live (UTF-8 path).
    std::string programDir;
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
    QTableView* grid() const { return m_grid; }
    QTextBrowser* viewer() const { return m_viewer; }
    schedule::BossTable& table() { return m_table; }
    SoundChooser* soundChooser() const { return m_soundChooser; }

    void onStartStopClicked();
    // Runs on the clock timer's worker: hands the clock text to the window thread.
    void onClockTick();

private:
    void buildComponents();
    void onWindowCreated();
    void startTick();
    void wireAlarm();

    AppContext m_context;
    QPushButton* m_startStopButton = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QLabel* m_warnLabel = nullptr;
    QLineEdit* m_warnMinutesEdit = nullptr;
    QLabel* m_clockLabel = nullptr;
    QLabel* m_noteIcon = nullptr;
    QLineEdit* m_soundPathEdit = nullptr;
    ClickableLabel* m_soundLabel = nullptr;
    QTableView* m_grid = nullptr;
    QTextBrowser* m_viewer = nullptr;
    schedule::BossTable m_table;
    SoundChooser* m_soundChooser = nullptr;
    // Used by the tick worker; goes after the destructor has stopped it.
    std::unique_ptr<TickSupport> m_tickSupport;
};

} // namespace zorvane::app
