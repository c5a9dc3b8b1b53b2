#include "widgets/filterbox.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace zorvane::app {

FilterBox::FilterBox(QWidget* parent) : QLineEdit(parent) {
    setPlaceholderText(QCoreApplication::translate("Zorvane", "筛选：名称、分组、状态…"));
    // The clear button shows only over a text. Enabling it looks its icon up in the icon
    // theme and probes every image format plugin: milliseconds of the start and the plugins'
    // memory for good, in a window that may never filter. It comes with the first text.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty() && !isClearButtonEnabled()) {
            setClearButtonEnabled(true);
        }
    });
    setToolTip(QCoreApplication::translate(
        "Zorvane", "按名称或分组筛选，或按状态：已刷新、10分钟内、<10m（Ctrl+F；Esc 清除）"));
}

namespace {

bool clearsFilter(const QKeyEvent& key, const QString& text) {
    return key.key() == Qt::Key_Escape && key.modifiers() == Qt::NoModifier && !text.isEmpty();
}

} // namespace

bool FilterBox::event(QEvent* event) {
    // The window's Esc (silence) is a shortcut: the box claims the key while it holds a filter.
    if (event->type() == QEvent::ShortcutOverride &&
        clearsFilter(*static_cast<QKeyEvent*>(event), text())) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void FilterBox::keyPressEvent(QKeyEvent* event) {
    if (clearsFilter(*event, text())) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace zorvane::app
