#pragma once
// Texts that come from outside (boss names, nicknames, file names, a library's or a room's
// reasons) shown where Qt would guess rich text: tooltips, message boxes and dialog labels.
// A name such as `<img src="/dev/zero">` must show as typed, never be read as HTML (which
// would load that file).

#include <QString>

class QEvent;
class QInputDialog;
class QWidget;
class QMessageBox;

namespace zorvane::app {

// The tooltip that shows `text` exactly, line breaks kept.
QString plainToolTip(const QString& text);

// For a widget's event(): shows its toolTip() exactly as it is; true when `event` was the
// request for the tooltip and has been handled.
bool showPlainToolTip(QWidget& widget, QEvent* event);

// Makes the box, or the dialog's label, show its text as plain text.
void showPlainText(QMessageBox& box);
void showPlainText(QInputDialog& dialog);

} // namespace zorvane::app
