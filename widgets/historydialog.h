#pragma once
// One boss's kill history in a window of its own that does not block the main window:
// the latest kills, the intervals between kills against the configured period, and an
// export to CSV.

#include <QDialog>
#include <QString>

#include "history/intervals.h"

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace zorvane::history {
class RoomAuditLog;
class SqliteKillLog;
} // namespace zorvane::history

namespace zorvane::app {

class RoomAuditView;

// Asks where to save; returns the chosen path, "" when cancelled. Arguments: owner,
// title, suggested file path, Qt name filter.
using SaveFileDialog = std::function<QString(QWidget* owner, const QString& title,
                                             const QString& suggested, const QString& filter)>;

// The real dialog: QFileDialog::getSaveFileName.
QString showSaveFileDialog(QWidget* owner, const QString& title, const QString& suggested,
                           const QString& filter);

class HistoryDialog final : public QDialog {
    Q_OBJECT
public:
    // How many of the latest kills the list shows.
    static constexpr int kShownKills = 200;

    struct Boss {
        std::string name;
        int periodMinutes = 0;
        int delayMinutes = 0;
    };

    // Reads the history at once. The log must outlive the dialog.
    HistoryDialog(history::SqliteKillLog& log, Boss boss, QWidget* parent = nullptr);

    // Tests answer the save dialog themselves.
    void setFileDialog(SaveFileDialog dialog) { m_fileDialog = std::move(dialog); }
    // Where the save dialog starts.
    void setExportDirectory(QString directory) { m_exportDirectory = std::move(directory); }

    // Adds the tab of the room's audit trail for the boss: who recorded, retracted or was
    // refused what, and when. The log must outlive the dialog.
    void showRoomAudit(history::RoomAuditLog& log, std::string room);

    // The boss's note (location, drops, text) under the title; hidden when empty.
    void setNote(const QString& note);
    QLabel* noteLabel() const { return m_noteLabel; }

    QTableWidget* killTable() const { return m_killTable; }
    QTabWidget* tabs() const { return m_tabs; }
    RoomAuditView* roomAudit() const { return m_roomAudit; }
    QLabel* intervalLabel() const { return m_intervalLabel; }
    QLabel* comparisonLabel() const { return m_comparisonLabel; }
    // The window the kills suggest, and the button that makes it the row's.
    QLabel* proposalLabel() const { return m_proposalLabel; }
    QPushButton* adoptButton() const { return m_adoptButton; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QPushButton* exportButton() const { return m_exportButton; }

    // Runs the queries again and shows their answers.
    void refresh();
    // "导出 CSV": asks for a file and writes every kill of the boss into it.
    void onExportClicked();

signals:
    // "采用": the row's period and delay are to become the proposed window's.
    void windowAdopted(int periodMinutes, int delayMinutes);

private:
    void build();
    // The window the usual intervals suggest, beside the row's.
    void showProposal(const history::IntervalStats& stats);

    history::SqliteKillLog& m_log;
    Boss m_boss;
    SaveFileDialog m_fileDialog = showSaveFileDialog;
    QString m_exportDirectory;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_noteLabel = nullptr;
    QLabel* m_intervalLabel = nullptr;
    QLabel* m_comparisonLabel = nullptr;
    QLabel* m_proposalLabel = nullptr;
    QPushButton* m_adoptButton = nullptr;
    std::optional<history::WindowProposal> m_proposal;
    QTableWidget* m_killTable = nullptr;
    QTabWidget* m_tabs = nullptr;
    history::RoomAuditLog* m_auditLog = nullptr;
    std::string m_room;
    RoomAuditView* m_roomAudit = nullptr;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_exportButton = nullptr;
};

} // namespace zorvane::app
