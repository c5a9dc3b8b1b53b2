#pragma once
// The tray icon: shows by a badge whether a boss is within its lead time, due or up, or the
// countdowns are stopped; names the next bosses in its tooltip; and offers the window's main
// commands in its menu. It exists only when the desktop has a tray, so the window never
// hides into a tray the user cannot see.

#include "widgets/traysummary.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace zorvane::app {

class AlertTray : public QObject {
    Q_OBJECT
public:
    // trayAvailable: whether the desktop offers a tray (QSystemTrayIcon::isSystemTrayAvailable
    // when omitted). The menu is built either way; the icon only with a tray.
    explicit AlertTray(const QIcon& icon, QObject* parent = nullptr);
    AlertTray(const QIcon& icon, bool trayAvailable, QObject* parent = nullptr);
    ~AlertTray() override;

    // Asking the desktop for its tray and registering the icon are D-Bus round trips a
    // window need not wait for: a tray made without one gets its icon here. Puts the icon
    // in the tray now, with the badge and tooltip set so far, when the desktop
    // has one (trayAvailable, or QSystemTrayIcon::isSystemTrayAvailable()); once.
    void showIcon();
    void showIcon(bool trayAvailable);

    // True when the icon is in the tray; the window may then hide into it.
    bool isShown() const;

    // The icon's badge and the tooltip's bosses (traysummary.h).
    void setSummary(const TraySummary& summary);
    TrayState state() const { return m_state; }
    // The tooltip as given to the tray (rich text, names escaped), and the icon shown.
    QString toolTip() const { return m_toolTip; }
    QIcon icon() const { return m_shownIcon; }
    // The icon the badges are drawn on (the window's icon), as given to the constructor.
    void setBaseIcon(const QIcon& icon);

    // Keep the menu's words true to the window and the tick.
    void setWindowVisible(bool visible);
    void setTickRunning(bool running);
    // Keep the overlay's two check marks true to the overlay.
    void setOverlayShown(bool shown);
    void setOverlayClickThrough(bool on);

    QMenu* menu() const { return m_menu.get(); }

    // A balloon from the tray icon; nothing without a tray.
    void showMessage(const QString& title, const QString& text);

signals:
    void toggleWindowRequested();            // 显示窗口 / 隐藏窗口, or a click on the icon
    void silenceRequested();                 // 静音
    void startStopRequested();               // 启动 / 停止
    void overlayToggleRequested();           // 悬浮窗
    void overlayClickThroughRequested(bool); // 悬浮窗点击穿透
    void preferencesRequested();             // 首选项…
    void quitRequested();                    // 退出

private:
    std::unique_ptr<QMenu> m_menu; // a menu has no parent object: it is owned here
    QAction* m_toggleWindow;
    QAction* m_startStop;
    QAction* m_overlay;
    QAction* m_clickThrough;
    QSystemTrayIcon* m_icon = nullptr;
    QIcon m_baseIcon;
    QIcon m_shownIcon;
    TrayState m_state = TrayState::Idle;
    QString m_toolTip;
};

} // namespace zorvane::app
