#pragma once
// A boss's note: where it stands, what it drops, and any text. 确定 keeps it in the notes
// beside config.ini; a note that cannot be kept leaves the dialog open with the reason.

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zorvane::app {

class BossNoteBook;

class BossNoteDialog final : public QDialog {
    Q_OBJECT
public:
    // `notes` must outlive the dialog.
    BossNoteDialog(BossNoteBook& notes, std::string boss, QWidget* parent = nullptr);

    QLineEdit* locationEdit() const { return m_location; }
    QLineEdit* dropsEdit() const { return m_drops; }
    QPlainTextEdit* textEdit() const { return m_text; }
    QLabel* problemLabel() const { return m_problem; }

    void accept() override;

private:
    BossNoteBook& m_notes;
    std::string m_boss;
    QLineEdit* m_location = nullptr;
    QLineEdit* m_drops = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace zorvane::app
