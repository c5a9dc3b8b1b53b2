#include "widgets/plaintext.h"

#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QToolTip>

namespace zorvane::app {

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) {
        return text; // an empty tooltip hides it
    }
    // Escaped and wrapped as rich text: a tooltip has no text format of its own.
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

bool showPlainToolTip(QWidget& widget, QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return false;
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    if (widget.toolTip().isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), plainToolTip(widget.toolTip()), &widget);
    }
    return true;
}

void showPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}

void showPlainText(QInputDialog& dialog) {
    // The dialog's one label is its own child; it has no text format setting of its own.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
}

} // namespace zorvane::app
