#include "services/alertdispatch.h"

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/linetimers.h"
#include "services/coretexts.h"
#include "services/desktopnotifier.h"
#include "services/handoff.h"
#include "services/preferences.h"
#include "services/pushlink.h"
#include "speech/speech.h"
#include "text/textops.h"

#include <QCoreApplication>

#include <algorithm>

#include <optional>

namespace zorvane::app {

AlertDispatch::AlertDispatch(const Preferences& preferences, DesktopNotifier* notifier,
                             QObject* parent)
    : QObject(parent), m_preferences(preferences), m_notifier(notifier) {}

void AlertDispatch::setPush(PushLink* push, const schedule::BossTable& table,
                            const schedule::Clock& clock) {
    m_push = push;
    m_table = &table;
    m_clock = &clock;
}

void AlertDispatch::alert(const schedule::Alert& alert) {
    if (m_push != nullptr && m_push->mayTakeAlerts()) {
        if (const std::optional<schedule::BossRow> row = m_table->row(alert.rowId)) {
            if (const auto event = pushEventOf(alert, *row, schedule::toUtc(m_clock->now()))) {
                m_push->send(*event);
            }
        }
    }
    handOff(this, [this, alert] { present(alert); });
}

void AlertDispatch::present(const schedule::Alert& alert) {
    if (m_notifier && m_preferences.notificationsEnabled.get()) {
        const qint64 secondsLeft =
            alert.due() ? 0 : alert.secondsLeft; // a window's opening is not yet the spawn
        m_notifier->notify(NotificationKey{alert.rowId, QString::fromStdString(alert.server),
                                           QString::fromStdString(alert.line)},
                           QString::fromStdString(schedule::alertTitle(alert)), secondsLeft,
                           alertBody(alert));
    }
    emit presented();
}

namespace {

// "5 分钟", "40 秒", "1 分 14 秒": as the spoken alert rounds it.
QString durationText(std::int64_t seconds) {
    const speech::TimeLeft left = speech::roundedTimeLeft(std::max<std::int64_t>(seconds, 1));
    if (left.seconds == 0) {
        return QCoreApplication::translate("Zorvane", "%1 分钟").arg(left.minutes);
    }
    if (left.minutes == 0) {
        return QCoreApplication::translate("Zorvane", "%1 秒").arg(left.seconds);
    }
    return QCoreApplication::translate("Zorvane", "%1 分 %2 秒")
        .arg(left.minutes)
        .arg(left.seconds);
}

QString unrecordedText() {
    return QCoreApplication::translate("Zorvane", "已刷新（未记录击杀）");
}

} // namespace

QString alertBody(const schedule::Alert& alert) {
    switch (alert.topic) {
    case schedule::AlertTopic::WindowOpening:
        if (alert.leadMinutes) {
            return QCoreApplication::translate("Zorvane", "刷新窗口 %1后开启")
                .arg(durationText(alert.secondsLeft));
        }
        return QCoreApplication::translate("Zorvane", "窗口已开启 · 最迟 %1后刷新")
            .arg(durationText(alert.secondsLeft));
    case schedule::AlertTopic::Unrecorded:
        return QCoreApplication::translate("Zorvane", "%1 · 已 %2")
            .arg(unrecordedText(), durationText(-alert.secondsLeft));
    case schedule::AlertTopic::Countdown:
        break;
    }
    if (alert.due()) {
        // Just spawned: nobody could have recorded it yet; the reminder says so later.
        return DesktopNotifier::bodyText(0);
    }
    if (alert.phase == schedule::SpawnPhase::WindowOpen) {
        return QCoreApplication::translate("Zorvane", "窗口已开启 · %1")
            .arg(DesktopNotifier::bodyText(alert.secondsLeft));
    }
    return DesktopNotifier::bodyText(alert.secondsLeft);
}

} // namespace zorvane::app
