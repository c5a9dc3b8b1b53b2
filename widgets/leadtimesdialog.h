#pragma once
// One row's own lead times: either the preferences' extra lead times or a list of its own
// ("15, 3"; an empty list keeps only the warning minutes). 确定 stores the choice in the
// table, which the window then saves; a list that cannot be read keeps the dialog open
// with the reason.

#include "schedule/bosstable.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace zorvane::app {

class LeadTimesDialog final : public QDialog {
    Q_OBJECT
public:
    // `extraLeadMinutes` is the preferences' list, shown for comparison and for the note.
    LeadTimesDialog(schedule::BossTable& table, schedule::RowId row,
                    std::vector<int> extraLeadMinutes, QWidget* parent = nullptr);

    QCheckBox* ownBox() const { return m_own; }
    QLineEdit* listEdit() const { return m_list; }
    QLabel* noteLabel() const { return m_note; }

    void accept() override;

signals:
    // The row's lead times were stored in the table.
    void stored(schedule::RowId row);

private:
    void updateNote();

    schedule::BossTable& m_table;
    schedule::RowId m_row;
    std::vector<int> m_extraLeadMinutes;
    int m_periodMinutes = 0;
    QCheckBox* m_own = nullptr;
    QLineEdit* m_list = nullptr;
    QLabel* m_note = nullptr;
};

} // namespace zorvane::app
