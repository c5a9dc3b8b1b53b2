#pragma once
// One row's spawn rule: after a kill within the window its period and delay make, or at
// fixed clock times on chosen weekdays; the server's time zone the rule is read in; and
// what a server restart does to the row. 确定 stores the rule in the table, which the
// window then saves; times or a zone that cannot be read keep the dialog open with the
// reason.

#include "schedule/bosstable.h"

#include <QDialog>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace zorvane::app {

class SpawnRuleDialog final : public QDialog {
    Q_OBJECT
public:
    SpawnRuleDialog(schedule::BossTable& table, schedule::RowId row, QWidget* parent = nullptr);

    QRadioButton* afterKillButton() const { return m_afterKill; }
    QRadioButton* fixedTimesButton() const { return m_fixedTimes; }
    QLineEdit* timesEdit() const { return m_times; }
    QCheckBox* weekdayBox(int weekday) const {
        return m_weekdays[static_cast<std::size_t>(weekday)];
    }
    QComboBox* zoneBox() const { return m_zone; }
    QComboBox* restartBox() const { return m_restart; }
    QSpinBox* restartMinutesBox() const { return m_restartMinutes; }
    QSpinBox* remindMinutesBox() const { return m_remindMinutes; }
    QLabel* problemLabel() const { return m_problem; }

    // The rule the fields describe; nullopt with the reason shown when they cannot be read.
    std::optional<schedule::SpawnRule> chosenRule();

    void accept() override;

signals:
    // The row's rule was stored in the table.
    void stored(schedule::RowId row);

private:
    void updateFields();

    schedule::BossTable& m_table;
    schedule::RowId m_row;
    QRadioButton* m_afterKill = nullptr;
    QRadioButton* m_fixedTimes = nullptr;
    QLabel* m_window = nullptr;
    QLineEdit* m_times = nullptr;
    std::array<QCheckBox*, 7> m_weekdays{};
    QComboBox* m_zone = nullptr;
    QComboBox* m_restart = nullptr;
    QSpinBox* m_restartMinutes = nullptr;
    QSpinBox* m_remindMinutes = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace zorvane::app
