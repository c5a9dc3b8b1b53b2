#pragma once
// The 推送 page of the preferences: the targets of push.json (a Discord webhook, an ntfy topic
// or a JSON address; for the player or for the room; which alerts), each with the last status
// the push helper reported. 确定 writes push.json and has the helper read it again.

#include "push/pushsettings.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zorvane::app {

class PushLink;

class PushPage : public QWidget {
    Q_OBJECT
public:
    // `link` must outlive the page.
    explicit PushPage(PushLink& link, QWidget* parent = nullptr);

    // Why the targets cannot be stored (an address that is none); empty when they can.
    QString error() const;
    // Writes push.json and has the helper read it; false with the reason in `why`.
    bool apply(QString* why);

    // For tests and the dialog: the targets as edited so far.
    const std::vector<push::PushTarget>& targets() const { return m_settings.targets; }

private:
    void fillTable();
    void fillRow(int row);
    void showStatuses();
    void select(int row);
    void takeEdits();
    void addTarget();
    void removeTarget();

    PushLink& m_link;
    push::PushSettings m_settings;
    bool m_filling = false;

    QTableWidget* m_table;
    QPushButton* m_add;
    QPushButton* m_remove;
    QWidget* m_editor;
    QLineEdit* m_name;
    QComboBox* m_kind;
    QLineEdit* m_url;
    QComboBox* m_scope;
    std::vector<QCheckBox*> m_events; // in the order of push::kAlertKinds
    QCheckBox* m_enabled;
    QLabel* m_detail;
};

// The address as the page shows it: scheme, host and port, the rest (where the secret lives)
// as "/…".
QString shownAddress(const QString& url);

// "ntfy.sh/topic" as the player may type it: https:// put in front when no scheme is named.
QString typedAddress(const QString& typed);

} // namespace zorvane::app
