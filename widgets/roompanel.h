#pragma once
// The room panel: the role the broker gives this member, what every member did as this
// member saw it (kills taken, retractions, refusals by reason), the room's latest entries
// of the audit trail, and the bosses on offer.

#include <QDialog>
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace zorvane::history {
class RoomAuditLog;
struct AuditEntry;
} // namespace zorvane::history

namespace zorvane::app {

class RoomConnection;

// Entries of the room's audit trail, newest first: when, what, who, which boss and kill,
// and why (a refusal's reason, a retraction's target).
class RoomAuditView final : public QWidget {
    Q_OBJECT
public:
    explicit RoomAuditView(QWidget* parent = nullptr);

    void showEntries(const std::vector<history::AuditEntry>& entries);
    QTableWidget* table() const { return m_table; }

private:
    QTableWidget* m_table = nullptr;
};

class RoomPanel final : public QDialog {
    Q_OBJECT
public:
    // How many of the room's latest audit entries the panel shows.
    static constexpr int kShownEntries = 200;

    // `audit` may be nullptr (no trail is kept); both must outlive the panel.
    RoomPanel(RoomConnection& room, history::RoomAuditLog* audit, QWidget* parent = nullptr);

    QLabel* roleLabel() const { return m_role; }
    QTableWidget* memberTable() const { return m_members; }
    RoomAuditView* auditView() const { return m_audit; }
    QPushButton* offersButton() const { return m_offers; }

    // Shows the room's state as it is now, and reads the trail again.
    void refresh();

signals:
    // 新 BOSS… was clicked.
    void offersRequested();

private:
    // The role, the members' counts and the offers, without the trail.
    void refreshCounts();

    RoomConnection& m_room;
    history::RoomAuditLog* m_auditLog;
    QLabel* m_role = nullptr;
    QTableWidget* m_members = nullptr;
    RoomAuditView* m_audit = nullptr;
    QPushButton* m_offers = nullptr;
};

} // namespace zorvane::app
