#include "widgets/alerttray.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace zorvane::app {

AlertTray::AlertTray(const QIcon& icon, QObject* parent)
    : AlertTray(icon, QSystemTrayIcon::isSystemTrayAvailable(), parent) {}

AlertTray::AlertTray(const QIcon& icon, bool trayAvailable, QObject* parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()), m_baseIcon(icon), m_shownIcon(icon) {
    m_toggleWindow = m_menu->addAction(QCoreApplication::translate("Zorvane", "隐藏窗口"));
    m_toggleWindow->setObjectName(QStringLiteral("toggleWindowAction"));
    connect(m_toggleWindow, &QAction::triggered, this, &AlertTray::toggleWindowRequested);
    QAction* silence = m_menu->addAction(QCoreApplication::translate("Zorvane", "静音"));
    silence->setObjectName(QStringLiteral("silenceAction"));
    connect(silence, &QAction::triggered, this, &AlertTray::silenceRequested);
    m_startStop = m_menu->addAction(QCoreApplication::translate("Zorvane", "停止"));
    m_startStop->setObjectName(QStringLiteral("startStopAction"));
    connect(m_startStop, &QAction::triggered, this, &AlertTray::startStopRequested);
    m_overlay = m_menu->addAction(QCoreApplication::translate("Zorvane", "悬浮窗"));
    m_overlay->setObjectName(QStringLiteral("overlayAction"));
    m_overlay->setCheckable(true);
    // The check mark follows the overlay (setOverlayShown), not the click.
    connect(m_overlay, &QAction::triggered, this, [this] {
        m_overlay->setChecked(!m_overlay->isChecked());
        emit overlayToggleRequested();
    });
    m_clickThrough = m_menu->addAction(QCoreApplication::translate("Zorvane", "悬浮窗点击穿透"));
    m_clickThrough->setObjectName(QStringLiteral("overlayClickThroughAction"));
    m_clickThrough->setCheckable(true);
    connect(m_clickThrough, &QAction::triggered, this, &AlertTray::overlayClickThroughRequested);
    m_menu->addSeparator();
    QAction* preferences = m_menu->addAction(QCoreApplication::translate("Zorvane", "首选项…"));
    preferences->setObjectName(QStringLiteral("preferencesAction"));
    connect(preferences, &QAction::triggered, this, &AlertTray::preferencesRequested);
    QAction* quit = m_menu->addAction(QCoreApplication::translate("Zorvane", "退出"));
    quit->setObjectName(QStringLiteral("quitAction"));
    connect(quit, &QAction::triggered, this, &AlertTray::quitRequested);

    m_toolTip = trayToolTip({});
    showIcon(trayAvailable);
}

void AlertTray::showIcon() {
    showIcon(QSystemTrayIcon::isSystemTrayAvailable());
}

void AlertTray::showIcon(bool trayAvailable) {
    if (!trayAvailable || m_icon != nullptr) {
        return;
    }
    // The badge and the tooltip set meanwhile come along.
    m_icon = new QSystemTrayIcon(m_shownIcon, this);
    m_icon->setContextMenu(m_menu.get());
    m_icon->setToolTip(m_toolTip);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    emit toggleWindowRequested();
                }
            });
    m_icon->show();
}

AlertTray::~AlertTray() {
    // The icon refers to the menu; let it go first.
    delete m_icon;
}

bool AlertTray::isShown() const {
    return m_icon != nullptr && m_icon->isVisible();
}

void AlertTray::setSummary(const TraySummary& summary) {
    if (summary.state != m_state) {
        m_state = summary.state;
        m_shownIcon = trayIcon(m_baseIcon, m_state);
        if (m_icon != nullptr) {
            m_icon->setIcon(m_shownIcon);
        }
    }
    const QString text = trayToolTip(summary);
    if (text == m_toolTip) {
        return; // nothing new to send to the tray
    }
    m_toolTip = text;
    if (m_icon != nullptr) {
        m_icon->setToolTip(text);
    }
}

void AlertTray::setBaseIcon(const QIcon& icon) {
    m_baseIcon = icon;
    m_shownIcon = trayIcon(m_baseIcon, m_state);
    if (m_icon != nullptr) {
        m_icon->setIcon(m_shownIcon);
    }
}

void AlertTray::setWindowVisible(bool visible) {
    m_toggleWindow->setText(visible ? QCoreApplication::translate("Zorvane", "隐藏窗口")
                                    : QCoreApplication::translate("Zorvane", "显示窗口"));
}

void AlertTray::setOverlayShown(bool shown) {
    m_overlay->setChecked(shown);
}

void AlertTray::setOverlayClickThrough(bool on) {
    m_clickThrough->setChecked(on);
}

void AlertTray::setTickRunning(bool running) {
    // The same words as 按钮2: what a click will do.
    m_startStop->setText(running ? QCoreApplication::translate("Zorvane", "停止")
                                 : QCoreApplication::translate("Zorvane", "启动"));
}

void AlertTray::showMessage(const QString& title, const QString& text) {
    if (m_icon != nullptr) {
        m_icon->showMessage(title, text, QSystemTrayIcon::Information);
    }
}

} // namespace zorvane::app
