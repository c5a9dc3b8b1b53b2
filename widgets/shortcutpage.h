#pragma once
// The preferences' 桌面快捷键 page: the exact commands a player binds to keys in the desktop's
// own keyboard settings, with this copy's program path, so a kill or the next bosses spoken
// work while a game keeps the focus.

#include <QString>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

namespace zorvane::app {

// One argument as a POSIX shell reads it: left bare when it is plain, else in single quotes.
QString shellQuoted(const QString& argument);

// The commands for `program` (its path, or just its name when it is on the search path),
// with `boss` as the example name: a kill now, a kill two minutes ago, the next bosses said.
QStringList shortcutCommands(const QString& program, const QString& boss);

// The command name for this copy: "zorvane" when installed on the search path, else its path.
QString programForShortcuts(const QString& applicationFilePath);

class ShortcutPage final : public QWidget {
    Q_OBJECT
public:
    ShortcutPage(const QString& program, const QString& boss, QWidget* parent = nullptr);

    QString commandsText() const;

private:
    QPlainTextEdit* m_commands;
};

} // namespace zorvane::app
