#include "widgets/shortcutpage.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace zorvane::app {

QString shellQuoted(const QString& argument) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+-]+$"));
    if (plain.match(argument).hasMatch()) {
        return argument;
    }
    QString quoted = argument;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList shortcutCommands(const QString& program, const QString& boss) {
    const QString name = boss.trimmed().isEmpty() ? QStringLiteral("黑龙") : boss.trimmed();
    const QString command = shellQuoted(program);
    return {command + QStringLiteral(" --kill ") + shellQuoted(name),
            command + QStringLiteral(" --kill ") + shellQuoted(name) + QStringLiteral(" 2"),
            command + QStringLiteral(" --say-next")};
}

QString programForShortcuts(const QString& applicationFilePath) {
    const QFileInfo file(applicationFilePath);
    const QStringList path =
        qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    for (const QString& dir : path) {
        if (QFileInfo(QDir(dir).filePath(file.fileName())).canonicalFilePath() ==
            file.canonicalFilePath()) {
            return file.fileName();
        }
    }
    return applicationFilePath;
}

ShortcutPage::ShortcutPage(const QString& program, const QString& boss, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        QCoreApplication::translate(
            "Zorvane", "在桌面的键盘设置中为以下命令设置快捷键（KDE：系统设置 → 快捷键 → "
                       "自定义快捷键；GNOME：设置 → 键盘 → 自定义快捷键）。游戏在前台时也能"
                       "记录击杀（第二行：两分钟前）或朗读接下来的 BOSS。"),
        this);
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    layout->addWidget(note);
    m_commands = new QPlainTextEdit(this);
    m_commands->setObjectName(QStringLiteral("shortcutCommands"));
    m_commands->setReadOnly(true);
    m_commands->setPlainText(shortcutCommands(program, boss).join(QLatin1Char('\n')));
    layout->addWidget(m_commands, 1);
    auto* copy = new QPushButton(QCoreApplication::translate("Zorvane", "复制"), this);
    copy->setObjectName(QStringLiteral("copyShortcutCommands"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_commands->toPlainText()); });
    layout->addWidget(copy, 0, Qt::AlignLeft);
}

QString ShortcutPage::commandsText() const {
    return m_commands->toPlainText();
}

} // namespace zorvane::app
