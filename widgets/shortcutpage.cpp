#include "widgets/shortcutpage.h"

#include "services/portalshortcuts.h"

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

QString portalStatusText(const PortalShortcuts* portal) {
    if (portal == nullptr) {
        return {};
    }
    switch (portal->state()) {
    case PortalShortcuts::State::Idle:
    case PortalShortcuts::State::Checking:
    case PortalShortcuts::State::Binding:
        return QCoreApplication::translate("Zorvane", "全局快捷键：正在向桌面门户登记……");
    case PortalShortcuts::State::Bound: {
        QStringList keys;
        const QMap<QString, QString> triggers = portal->triggers();
        for (auto it = triggers.begin(); it != triggers.end(); ++it) {
            if (!it.value().isEmpty()) {
                keys << it.value();
            }
        }
        const QString bound = QCoreApplication::translate(
            "Zorvane", "全局快捷键已通过桌面门户登记（记录击杀、显示/隐藏悬浮窗、静音），"
                       "按键可在桌面的快捷键设置中更改。");
        return keys.isEmpty() ? bound
                              : bound + QLatin1Char(' ') +
                                    QCoreApplication::translate("Zorvane", "当前按键：%1")
                                        .arg(keys.join(QStringLiteral(", ")));
    }
    case PortalShortcuts::State::Missing:
        return QCoreApplication::translate(
                   "Zorvane",
                   "此桌面没有提供全局快捷键门户（GlobalShortcuts），请改用下面的命令（%1）。")
            .arg(portal->detail());
    case PortalShortcuts::State::Failed:
        return QCoreApplication::translate("Zorvane",
                                           "桌面门户未能登记全局快捷键，请改用下面的命令（%1）。")
            .arg(portal->detail());
    }
    return {};
}

ShortcutPage::ShortcutPage(const QString& program, const QString& boss,
                           const PortalShortcuts* portal, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    m_portal = new QLabel(portalStatusText(portal), this);
    m_portal->setObjectName(QStringLiteral("portalStatus"));
    m_portal->setWordWrap(true);
    m_portal->setTextFormat(Qt::PlainText);
    m_portal->setVisible(portal != nullptr);
    if (portal != nullptr) {
        connect(portal, &PortalShortcuts::stateChanged, m_portal,
                [this, portal] { m_portal->setText(portalStatusText(portal)); });
    }
    layout->addWidget(m_portal);
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

QString ShortcutPage::portalText() const {
    return m_portal->text();
}

QString ShortcutPage::commandsText() const {
    return m_commands->toPlainText();
}

} // namespace zorvane::app
