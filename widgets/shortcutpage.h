#pragma once
// The preferences' 桌面快捷键 page: the exact commands a player binds to keys in the desktop's
// own keyboard settings, with this copy's program path, so a kill or the next bosses spoken
// work while a game keeps the focus.

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace zorvane::app {

class PortalShortcuts;

// One argument as a POSIX shell reads it: left bare when it is plain, else in single quotes.
QString shellQuoted(const QString& argument);

// The commands for `program` (its path, or just its name when it is on the search path),
// with `boss` as the example name: a kill now, a kill two minutes ago, the next bosses said.
QStringList shortcutCommands(const QString& program, const QString& boss);

// The command name for this copy: "zorvane" when installed on the search path, else its path.
QString programForShortcuts(const QString& applicationFilePath);

// What became of the global keys through the desktop portal, for the player; empty when
// they were not asked for.
QString portalStatusText(const PortalShortcuts* portal);

class ShortcutPage final : public QWidget {
    Q_OBJECT
public:
    // `portal`: the window's global keys (followed while the page is open), or nullptr.
    ShortcutPage(const QString& program, const QString& boss, const PortalShortcuts* portal,
                 QWidget* parent = nullptr);

    QString commandsText() const;
    QString portalText() const;

private:
    QPlainTextEdit* m_commands;
    QLabel* m_portal;
};

} // namespace zorvane::app
