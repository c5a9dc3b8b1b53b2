#pragma once
// The "while you were away" panel: the rows whose cycles came due while the program
// was not running, shown once at start in a window of its own that blocks nothing.

#include "schedule/away.h"

#include <QDialog>

#include <vector>

class QTableWidget;

namespace zorvane::app {

class AwayPanel final : public QDialog {
    Q_OBJECT
public:
    // One line per row: the boss, when it first became due, how many cycles passed and
    // where it stands now (its current cycle's start and the time left).
    explicit AwayPanel(const std::vector<schedule::MissedRow>& missed, QWidget* parent = nullptr);

    QTableWidget* list() const { return m_list; }

private:
    QTableWidget* m_list = nullptr;
};

} // namespace zorvane::app
