#pragma once
// Exporting the table as a boss list and importing one (config/bosslist.h) from the window's
// menu: the file dialogs, the merge report the player reads before anything changes, and the
// saves through the session's writers once they accept. Tests answer the dialogs through
// BossListDialogs instead of real modal boxes.

#include "config/bosslist.h"

#include <QDialog>
#include <QString>

#include <filesystem>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zorvane::app {

class Session;

// The report as lines for the player: added, changed (with what changed), unchanged, skipped
// (with the reason), each group under its heading; nothing for an empty group.
QString mergeReportText(const config::MergeReport& report);

// The merge report before an import: what a list adds, changes and leaves, and the button
// that applies it (disabled when the list changes nothing).
class MergeReportDialog final : public QDialog {
    Q_OBJECT
public:
    // `origin`: where the list comes from (a file's name, a room member's offer).
    MergeReportDialog(const config::MergeReport& report, const QString& origin,
                      QWidget* parent = nullptr);

    QLabel* summary() const { return m_summary; }
    QPlainTextEdit* details() const { return m_details; }
    QPushButton* importButton() const { return m_import; }

private:
    QLabel* m_summary;
    QPlainTextEdit* m_details;
    QPushButton* m_import;
};

// The dialogs the transfer asks through; window thread only.
class BossListDialogs {
public:
    virtual ~BossListDialogs() = default;
    // The file to write / read; empty when cancelled.
    virtual QString exportFile(const QString& suggested) = 0;
    virtual QString importFile() = 0;
    // Shows the report; true when the player accepts the merge.
    virtual bool acceptMerge(const config::MergeReport& report, const QString& origin) = 0;
    // A result or a refusal the player must read.
    virtual void tell(const QString& text) = 0;
};

// The real dialogs, owned by `owner`.
class BossListFileDialogs final : public BossListDialogs {
public:
    explicit BossListFileDialogs(QWidget* owner) : m_owner(owner) {}
    QString exportFile(const QString& suggested) override;
    QString importFile() override;
    bool acceptMerge(const config::MergeReport& report, const QString& origin) override;
    void tell(const QString& text) override;

private:
    QWidget* m_owner;
};

class BossListTransfer {
public:
    // `session` and `dialogs` must outlive the transfer.
    BossListTransfer(Session& session, BossListDialogs& dialogs);

    // 导出首领列表…: asks for a file and writes the table's list into it.
    void exportList();
    // 导入首领列表…: asks for a file, reads it, shows the merge and applies it on agreement.
    void importList();
    // Shows the merge of `list` (from `origin`) and applies it on agreement; true when
    // something was applied.
    bool offerMerge(config::BossList list, const QString& origin);
    // 向房间提供首领列表…: offers the table's list to the joined room (officers only).
    void offerToRoom();
    // 房间提供的首领列表…: shows the merge of the list a member offered and applies it on
    // agreement; either way the offer is then put aside.
    void takeRoomOffer();

private:
    Session& m_session;
    BossListDialogs& m_dialogs;
};

} // namespace zorvane::app
