#pragma once
// A boss's servers and lines: the servers by name ("一区, 二区"; none: one server) and the
// line labels ("1-60", "1-40, A"). 确定 keeps them in lines.json through the lines writer;
// a label or server that cannot be kept leaves the dialog open with the reason and changes
// nothing. Both fields empty takes the boss's lines away.

#include "schedule/bosstable.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zorvane::app {

class LineBook;

class LinesDialog final : public QDialog {
    Q_OBJECT
public:
    // `lines` must outlive the dialog.
    LinesDialog(LineBook& lines, schedule::RowId row, const QString& boss,
                QWidget* parent = nullptr);

    QLineEdit* serversEdit() const { return m_servers; }
    QLineEdit* linesEdit() const { return m_lines; }
    QLabel* problemLabel() const { return m_problem; }

    void accept() override;

signals:
    // The row's lines were kept.
    void stored(schedule::RowId row);

private:
    LineBook& m_book;
    schedule::RowId m_row;
    QLineEdit* m_servers = nullptr;
    QLineEdit* m_lines = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace zorvane::app
