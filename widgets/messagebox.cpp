#include "widgets/messagebox.h"
#include "services/coretexts.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace zorvane::app {

void MessageBoxSink::showMessage(const text::Message& message) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::translate("Zorvane", "信息："),
                    messageText(message), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QuestionBoxes::confirm(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    box.button(QMessageBox::Yes)->setText(QCoreApplication::translate("Zorvane", "是"));
    box.button(QMessageBox::No)->setText(QCoreApplication::translate("Zorvane", "否"));
    // A stray Enter must not delete: "否" is the default.
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

std::optional<int> QuestionBoxes::askMinutes(const QString& title, const QString& label,
                                             int maximum) {
    bool ok = false;
    const int minutes = QInputDialog::getInt(m_owner, title, label, 0, 0, maximum, 1, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return minutes;
}

} // namespace zorvane::app
