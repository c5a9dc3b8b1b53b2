#include "widgets/traysummary.h"

#include "models/bosstablemodel.h"
#include "models/duerow.h"
#include "models/rowlook.h"
#include "schedule/bosstable.h"
#include "schedule/spawnrule.h"
#include "widgets/plaintext.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace zorvane::app {

namespace {

// The sizes trays ask for, from a 16 px panel to a high-density one.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};

struct Candidate {
    TrayEntry entry;
    qint64 remaining = 0;
    bool up = false;
    int row = 0;
    schedule::LineId line = 0;
};

QImage greyed(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]) / 2 + 64; // dimmed as well as grey
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return image;
}

QPixmap badged(const QIcon& base, int size, TrayState state) {
    QImage image = base.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull() || image.width() != size) {
        image = QImage(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
    }
    if (state == TrayState::Stopped) {
        image = greyed(image);
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The badge fills the lower right corner, large enough to read at 16 px.
    const qreal diameter = size * 0.56;
    const QRectF badge(size - diameter, size - diameter, diameter, diameter);
    const QColor fill = state == TrayState::Lead     ? QColor(255, 140, 0)
                        : state == TrayState::DueNow ? QColor(220, 20, 20)
                                                     : QColor(70, 70, 70);
    painter.setPen(QPen(Qt::white, std::max(1.0, size / 16.0)));
    painter.setBrush(fill);
    painter.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const QPointF centre = badge.center();
    const qreal unit = diameter / 8;
    if (state == TrayState::DueNow) {
        painter.drawRect(QRectF(centre.x() - unit / 2, centre.y() - 2.6 * unit, unit, 3.4 * unit));
        painter.drawRect(QRectF(centre.x() - unit / 2, centre.y() + 1.4 * unit, unit, unit));
    } else if (state == TrayState::Stopped) {
        painter.drawRect(
            QRectF(centre.x() - 2 * unit, centre.y() - 2 * unit, 1.3 * unit, 4 * unit));
        painter.drawRect(
            QRectF(centre.x() + 0.7 * unit, centre.y() - 2 * unit, 1.3 * unit, 4 * unit));
    }
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

TraySummary summariseForTray(const QAbstractItemModel& model, bool stopped, int count,
                             const schedule::LineBoard* board) {
    TraySummary summary;
    std::vector<Candidate> candidates;
    bool lead = false;
    bool due = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        const DueRow dueRow = readDueRow(model, row, board);
        if (!dueRow.checked || !dueRow.remaining.isValid()) {
            continue;
        }
        const RowLook look = rowLook(dueRow.checked, dueRow.remaining, dueRow.rowPhase);
        const auto phase = dueRow.spawnPhase.isValid()
                               ? static_cast<schedule::SpawnPhase>(dueRow.spawnPhase.toInt())
                               : schedule::SpawnPhase::Waiting;
        const bool up = phase == schedule::SpawnPhase::Up;
        const bool open = phase == schedule::SpawnPhase::WindowOpen;
        due = due || look == RowLook::DueSoon || up;
        lead = lead || look == RowLook::Lead || open;
        Candidate candidate;
        candidate.entry.name = dueRow.name;
        candidate.entry.countdown = dueRow.countdown;
        if (up || open) {
            candidate.entry.state = dueRow.spawnText;
        }
        candidate.remaining = dueRow.remaining.toLongLong();
        candidate.up = up;
        candidate.row = row;
        candidate.line = dueRow.line;
        candidates.push_back(std::move(candidate));
    }
    // A boss that is up needs a kill now, whatever its next count says.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) {
                         return a.up != b.up ? a.up : a.remaining < b.remaining;
                     });
    for (Candidate& candidate : candidates) {
        if (static_cast<int>(summary.next.size()) >= count) {
            break;
        }
        summary.next.push_back(std::move(candidate.entry));
        summary.rows.push_back(candidate.row);
        summary.fromLines = summary.fromLines || candidate.line != 0;
    }
    summary.state = stopped ? TrayState::Stopped
                    : due   ? TrayState::DueNow
                    : lead  ? TrayState::Lead
                            : TrayState::Idle;
    return summary;
}

void refreshTrayTexts(const QAbstractItemModel& model, TraySummary& summary) {
    if (summary.fromLines) {
        return; // a line's texts are not its boss row's cells; the summary is made afresh
    }
    for (std::size_t i = 0; i < summary.next.size() && i < summary.rows.size(); ++i) {
        const QModelIndex countdown = model.index(summary.rows[i], schedule::kCountdownColumn);
        if (!countdown.isValid()) {
            continue;
        }
        TrayEntry& entry = summary.next[i];
        entry.countdown = countdown.data().toString();
        if (!entry.state.isEmpty()) {
            entry.state = countdown.data(BossTableModel::SpawnTextRole).toString();
        }
    }
}

QString trayToolTipText(const TraySummary& summary) {
    QStringList lines{QStringLiteral("Zorvane")};
    if (summary.state == TrayState::Stopped) {
        lines << QCoreApplication::translate("Zorvane", "已停止：倒计时暂停");
    }
    if (summary.next.empty()) {
        lines << QCoreApplication::translate("Zorvane", "没有启用的BOSS");
    }
    for (const TrayEntry& entry : summary.next) {
        QString line = entry.name + QStringLiteral("  ") + entry.countdown;
        if (!entry.state.isEmpty()) {
            line += QStringLiteral("  ") + entry.state;
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString trayToolTip(const TraySummary& summary) {
    return plainToolTip(trayToolTipText(summary));
}

QIcon trayIcon(const QIcon& base, TrayState state) {
    if (state == TrayState::Idle) {
        return base;
    }
    QIcon icon;
    for (const int size : kIconSizes) {
        icon.addPixmap(badged(base, size, state));
    }
    return icon;
}

} // namespace zorvane::app
