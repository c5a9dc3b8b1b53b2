#include "models/rowlook.h"

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "services/coretexts.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace zorvane::app {
namespace {

constexpr int kIconSize = 12;

// Drawn rather than loaded: two small shapes need no files, and the shape differs
// between the two looks, so they stay apart without colour.
QIcon makeIcon(RowLook look) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    const QRectF disc(0.5, 0.5, kIconSize - 1, kIconSize - 1);
    if (look == RowLook::Lead) {
        painter.setBrush(QColor(0xe0, 0x8a, 0x00));
        const QPolygonF triangle({QPointF(kIconSize / 2.0, 0.5),
                                  QPointF(kIconSize - 0.5, kIconSize - 0.5),
                                  QPointF(0.5, kIconSize - 0.5)});
        painter.drawPolygon(triangle);
    } else if (look == RowLook::Window) {
        painter.setBrush(Qt::white);
        painter.drawEllipse(disc);
        painter.setBrush(QColor(0x10, 0x50, 0xb0));
        painter.drawPie(disc, 90 * 16, 180 * 16); // the left half: ◐
    } else {
        painter.setBrush(QColor(0xd0, 0x20, 0x20));
        painter.drawEllipse(disc);
    }
    return QIcon(pixmap);
}

} // namespace

RowLook rowLook(bool checked, const QVariant& remainingSeconds, const QVariant& phase) {
    if (!checked) {
        return RowLook::Unchecked;
    }
    if (!remainingSeconds.isValid() || !phase.isValid()) {
        return RowLook::Plain;
    }
    const auto typed = static_cast<schedule::RowPhase>(phase.toInt());
    if (typed == schedule::RowPhase::Due || remainingSeconds.toLongLong() <= kDueSoonSeconds) {
        return RowLook::DueSoon;
    }
    if (typed == schedule::RowPhase::Lead) {
        return RowLook::Lead;
    }
    if (typed == schedule::RowPhase::Window) {
        return RowLook::Window;
    }
    return typed == schedule::RowPhase::Counting ? RowLook::Counting : RowLook::Plain;
}

QColor lookBackground(RowLook look) {
    switch (look) {
    case RowLook::Counting:
        return {0xe4, 0xf4, 0xe1};
    case RowLook::Lead:
        return {0xff, 0xe8, 0xb0};
    case RowLook::Window:
        return {0xd8, 0xe6, 0xfa};
    case RowLook::DueSoon:
        return {0xff, 0xc2, 0xc2};
    default:
        return {};
    }
}

QColor lookForeground(RowLook look) {
    switch (look) {
    case RowLook::Unchecked:
        return {0x80, 0x80, 0x80};
    case RowLook::DueSoon:
        return {0x8a, 0x00, 0x00};
    default:
        return {};
    }
}

void applyLookFont(RowLook look, QFont& font) {
    if (look == RowLook::Lead || look == RowLook::DueSoon) {
        font.setBold(true);
    }
    if (look == RowLook::Unchecked) {
        font.setItalic(true);
    }
}

QVariant lookData(RowLook look, int role, int column) {
    switch (role) {
    case Qt::BackgroundRole: {
        const QColor colour = lookBackground(look);
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case Qt::ForegroundRole: {
        const QColor colour = lookForeground(look);
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case Qt::FontRole: {
        if (look != RowLook::Lead && look != RowLook::DueSoon && look != RowLook::Unchecked) {
            return {};
        }
        QFont font;
        applyLookFont(look, font);
        // The row number's column is 40 px wide: in bold a four-digit number is cut short
        // ("10…"). The row's colours carry the look there.
        if (column == schedule::kNumberColumn) {
            font.setBold(false);
            if (!font.italic()) {
                return {};
            }
        }
        return font;
    }
    case Qt::DecorationRole: {
        // The look's icon sits beside the countdown only.
        const QIcon icon = lookIcon(look);
        if (column != schedule::kCountdownColumn || icon.isNull()) {
            return {};
        }
        return icon;
    }
    default:
        return {};
    }
}

QIcon lookIcon(RowLook look) {
    static const QIcon lead = makeIcon(RowLook::Lead);
    static const QIcon window = makeIcon(RowLook::Window);
    static const QIcon due = makeIcon(RowLook::DueSoon);
    switch (look) {
    case RowLook::Lead:
        return lead;
    case RowLook::Window:
        return window;
    case RowLook::DueSoon:
        return due;
    default:
        return {};
    }
}

QIcon pauseIcon() {
    static const QIcon icon = [] {
        QPixmap pixmap(kIconSize, kIconSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(90, 90, 90));
        const qreal bar = kIconSize / 4.0;
        painter.drawRect(QRectF(bar * 0.5, 1, bar, kIconSize - 2));
        painter.drawRect(QRectF(bar * 2.5, 1, bar, kIconSize - 2));
        return QIcon(pixmap);
    }();
    return icon;
}

QString lookName(RowLook look) {
    switch (look) {
    case RowLook::Unchecked:
        return QCoreApplication::translate("Zorvane", "未启用");
    case RowLook::Counting:
        return QCoreApplication::translate("Zorvane", "倒计时中");
    case RowLook::Lead:
        return QCoreApplication::translate("Zorvane", "预警时间内");
    case RowLook::Window:
        return QCoreApplication::translate("Zorvane", "刷新窗口已开");
    case RowLook::DueSoon:
        return QCoreApplication::translate("Zorvane", "一分钟内到期");
    case RowLook::Plain:
        break;
    }
    return QCoreApplication::translate("Zorvane", "未计时");
}

QString lookLegend() {
    return QCoreApplication::translate("Zorvane", "绿色：倒计时中\n"
                                                  "橙色、粗体、▲：预警时间内\n"
                                                  "蓝色、◐：刷新窗口已开\n"
                                                  "红色、粗体、●：一分钟内到期\n"
                                                  "灰色斜体：未启用（不报警）");
}

namespace {

QIcon paintSpawnIcon(schedule::SpawnPhase phase, double fraction) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0.5, 0.5, kIconSize - 1, kIconSize - 1);
    switch (phase) {
    case schedule::SpawnPhase::Unknown: {
        painter.setPen(QColor(0x80, 0x80, 0x80));
        QFont font = painter.font();
        font.setPixelSize(kIconSize);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case schedule::SpawnPhase::Waiting:
        painter.setPen(QPen(QColor(0x50, 0x70, 0x90), 1.5));
        painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
        break;
    case schedule::SpawnPhase::WindowOpen:
        painter.setPen(QPen(QColor(0x10, 0x50, 0xb0), 1));
        painter.drawEllipse(circle);
        painter.setBrush(QColor(0x10, 0x50, 0xb0));
        // Clockwise from twelve o'clock, as far as the window has run.
        painter.drawPie(circle, 90 * 16,
                        -static_cast<int>(360 * 16 * std::clamp(fraction, 0.0, 1.0)));
        break;
    case schedule::SpawnPhase::Up: {
        painter.setPen(QPen(QColor(0x50, 0x10, 0x70), 1));
        painter.setBrush(QColor(0x90, 0x30, 0xc0));
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double radius = (i % 2 == 0 ? kIconSize / 2.0 - 0.5 : kIconSize / 4.5);
            const double angle = -M_PI / 2 + i * M_PI / 5;
            star << QPointF(kIconSize / 2.0 + radius * std::cos(angle),
                            kIconSize / 2.0 + radius * std::sin(angle));
        }
        painter.drawPolygon(star);
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace

QIcon spawnIcon(schedule::SpawnPhase phase, double fraction) {
    // Each look is painted once: the grid asks again for every name cell it repaints, every
    // second. The pie moves in steps finer than its 12 pixels show.
    constexpr int kPieSteps = 48;
    const int step = phase == schedule::SpawnPhase::WindowOpen
                         ? static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kPieSteps))
                         : 0;
    const int key = static_cast<int>(phase) * (kPieSteps + 1) + step;
    // Window thread only, as every pixmap.
    static QHash<int, QIcon> painted;
    if (const auto found = painted.constFind(key); found != painted.cend()) {
        return *found;
    }
    const QIcon icon = paintSpawnIcon(phase, static_cast<double>(step) / kPieSteps);
    painted.insert(key, icon);
    return icon;
}

QString spawnStateText(const schedule::SpawnView& view) {
    const auto clock = [](schedule::UtcSeconds instant) {
        return QString::fromStdString(schedule::clockTimeText(schedule::toLocal(instant)));
    };
    const auto duration = [](std::int64_t seconds) {
        return messageText(schedule::countdownMessage(std::max<std::int64_t>(0, seconds)));
    };
    switch (view.phase) {
    case schedule::SpawnPhase::Unknown:
        return QCoreApplication::translate("Zorvane", "未知：从未记录击杀");
    case schedule::SpawnPhase::Waiting:
        return QCoreApplication::translate("Zorvane", "等待刷新");
    case schedule::SpawnPhase::WindowOpen:
        return QCoreApplication::translate("Zorvane", "刷新窗口已开 %1%，距最晚还有 %2")
            .arg(static_cast<int>(view.fraction * 100))
            .arg(duration(view.secondsLeft));
    case schedule::SpawnPhase::Up:
        break;
    }
    if (!view.upSince) {
        return QCoreApplication::translate("Zorvane", "已刷新，无人记录击杀");
    }
    return QCoreApplication::translate("Zorvane", "已刷新：%1 起无人记录击杀，已 %2")
        .arg(clock(*view.upSince), duration(view.upSeconds));
}

namespace {

QString weekdayName(int weekday) {
    switch (weekday) {
    case 0:
        return QCoreApplication::translate("Zorvane", "周一");
    case 1:
        return QCoreApplication::translate("Zorvane", "周二");
    case 2:
        return QCoreApplication::translate("Zorvane", "周三");
    case 3:
        return QCoreApplication::translate("Zorvane", "周四");
    case 4:
        return QCoreApplication::translate("Zorvane", "周五");
    case 5:
        return QCoreApplication::translate("Zorvane", "周六");
    default:
        return QCoreApplication::translate("Zorvane", "周日");
    }
}

// "周六 12月12日 21:00:00" on `zone`'s clock.
QString fullTimeText(schedule::UtcSeconds at, const schedule::ServerZone& zone) {
    const schedule::WallTime wall = zone.wallTime(at);
    return QCoreApplication::translate("Zorvane", "%1 %2月%3日 %4")
        .arg(weekdayName(wall.weekday))
        .arg(wall.month)
        .arg(wall.day)
        .arg(QString::fromStdString(zone.clockText(at)));
}

} // namespace

QString dueDayText(schedule::UtcSeconds at, schedule::UtcSeconds now) {
    const schedule::ServerZone player = schedule::ServerZone::local();
    const schedule::WallTime due = player.wallTime(at);
    const std::int64_t days = due.dayNumber - player.wallTime(now).dayNumber;
    if (days == 0) {
        return {};
    }
    if (days == 1) {
        return QCoreApplication::translate("Zorvane", "明天");
    }
    if (days > 1 && days < 7) {
        return weekdayName(due.weekday);
    }
    return QCoreApplication::translate("Zorvane", "%1月%2日").arg(due.month).arg(due.day);
}

QString nextTimeTip(const schedule::SpawnView& view, const schedule::ServerZone& zone,
                    schedule::UtcSeconds now) {
    if (!view.earliest) {
        return {};
    }
    const schedule::ServerZone player = schedule::ServerZone::local();
    const auto when = [&](schedule::UtcSeconds at) {
        const QString day = dueDayText(at, now);
        const QString clock = QString::fromStdString(player.clockText(at));
        return day.isEmpty() ? QCoreApplication::translate("Zorvane", "今天 %1").arg(clock)
                             : fullTimeText(at, player);
    };
    QString tip;
    if (view.latest && *view.latest > *view.earliest) {
        tip = QCoreApplication::translate("Zorvane", "刷新窗口：%1 至 %2")
                  .arg(when(*view.earliest), when(*view.latest));
    } else {
        tip = QCoreApplication::translate("Zorvane", "下次刷新：%1").arg(when(*view.earliest));
    }
    if (!zone.isLocal()) {
        tip += QLatin1Char('\n') +
               QCoreApplication::translate("Zorvane", "服务器时间（%1）：%2")
                   .arg(QString::fromStdString(zone.text()), fullTimeText(*view.earliest, zone));
    }
    return tip;
}

} // namespace zorvane::app
