#include "widgets/messagebox.h"
#include "services/coretexts.h"
#include "widgets/plaintext.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include <algorithm>

namespace zorvane::app {

void keepTitleReadable(QMessageBox& box) {
    // A box sizes itself to its text; a short text left the title as "···". The layout's
    // last row gets a spacer as wide as the title needs, with room for the frame's buttons.
    const int wanted = std::max(kMessageBoxMinimumWidth,
                                box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

void MessageBoxSink::showMessage(const text::Message& message) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::translate("Zorvane", "信息："),
                    messageText(message), QMessageBox::Ok);
    showPlainText(box);
    keepTitleReadable(box);
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
    showPlainText(box);
    keepTitleReadable(box);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

std::optional<int> QuestionBoxes::askMinutes(const QString& title, const QString& label,
                                             int maximum) {
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, maximum);
    dialog.setIntValue(0);
    showPlainText(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.intValue();
}

std::optional<QString> QuestionBoxes::askChoice(const QString& title, const QString& label,
                                                const QStringList& choices,
                                                const QString& current) {
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setComboBoxItems(choices);
    dialog.setComboBoxEditable(true);
    dialog.setTextValue(current);
    showPlainText(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

} // namespace zorvane::app
