#include "widgets/historydialog.h"
#include "services/coretexts.h"
#include "widgets/roompanel.h"

#include "history/killhistory.h"
#include "history/killtexts.h"
#include "history/roomaudit.h"
#include "schedule/linetimers.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zorvane::app {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// "3线 @ 二区", "3线", or nothing for a kill of the boss's own row.
QString lineText(const std::string& server, const std::string& line) {
    if (line.empty()) {
        return fromUtf8(server);
    }
    const std::string caption = schedule::lineCaption(line);
    return fromUtf8(server.empty() ? caption : caption + " @ " + server);
}

QString duration(std::int64_t seconds) {
    return messageText(history::durationMessage(seconds));
}

// A file name made of the boss name, without characters file systems refuse.
QString exportFileName(const std::string& boss) {
    QString name = fromUtf8(boss).trimmed();
    static const QString kRefused = QStringLiteral("\\/:*?\"<>|");
    for (QChar& c : name) {
        if (kRefused.contains(c) || c.unicode() < 0x20) {
            c = QLatin1Char('_');
        }
    }
    if (name.isEmpty()) {
        name = QStringLiteral("boss");
    }
    return name + QCoreApplication::translate("Zorvane", "-历史记录.csv");
}

} // namespace

QString showSaveFileDialog(QWidget* owner, const QString& title, const QString& suggested,
                           const QString& filter) {
    return QFileDialog::getSaveFileName(owner, title, suggested, filter);
}

HistoryDialog::HistoryDialog(history::SqliteKillLog& log, Boss boss, QWidget* parent)
    : QDialog(parent), m_log(log), m_boss(std::move(boss)) {
    setObjectName(QStringLiteral("historyDialog"));
    setModal(false);
    setWindowTitle(QCoreApplication::translate("Zorvane", "历史记录 - ") + fromUtf8(m_boss.name));
    build();
    refresh();
}

void HistoryDialog::setNote(const QString& note) {
    m_noteLabel->setText(note);
    m_noteLabel->setVisible(!note.isEmpty());
}

void HistoryDialog::build() {
    auto* layout = new QVBoxLayout(this);
    m_titleLabel = new QLabel(this);
    QFont titleFont = m_titleLabel->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    m_titleLabel->setFont(titleFont);
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_noteLabel = new QLabel(this);
    m_noteLabel->setTextFormat(Qt::PlainText);
    m_noteLabel->setWordWrap(true);
    m_noteLabel->hide();
    m_intervalLabel = new QLabel(this);
    m_comparisonLabel = new QLabel(this);
    m_intervalLabel->setWordWrap(true);
    m_comparisonLabel->setWordWrap(true);
    m_proposalLabel = new QLabel(this);
    m_proposalLabel->setObjectName(QStringLiteral("proposalLabel"));
    m_proposalLabel->setWordWrap(true);
    m_adoptButton = new QPushButton(QCoreApplication::translate("Zorvane", "采用此窗口"), this);
    m_adoptButton->setObjectName(QStringLiteral("adoptButton"));
    auto* proposal = new QHBoxLayout;
    proposal->addWidget(m_proposalLabel, 1);
    proposal->addWidget(m_adoptButton);

    m_killTable = new QTableWidget(0, 6, this);
    m_killTable->setHorizontalHeaderLabels({QCoreApplication::translate("Zorvane", "时间"),
                                            QCoreApplication::translate("Zorvane", "来源"),
                                            QCoreApplication::translate("Zorvane", "周期(分)"),
                                            QCoreApplication::translate("Zorvane", "延迟(分)"),
                                            QCoreApplication::translate("Zorvane", "发送者"),
                                            QCoreApplication::translate("Zorvane", "分线")});
    m_killTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_killTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_killTable->verticalHeader()->hide();
    m_killTable->horizontalHeader()->setStretchLastSection(true);
    m_killTable->setColumnWidth(0, 170);
    m_killTable->setColumnWidth(1, 80);
    m_killTable->setColumnWidth(2, 70);
    m_killTable->setColumnWidth(3, 70);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setWordWrap(true);
    m_exportButton = new QPushButton(QCoreApplication::translate("Zorvane", "导出 CSV"), this);
    auto* closeButton = new QPushButton(QCoreApplication::translate("Zorvane", "关闭"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_statusLabel, 1);
    buttons->addWidget(m_exportButton);
    buttons->addWidget(closeButton);

    layout->addWidget(m_titleLabel);
    layout->addWidget(m_noteLabel);
    layout->addWidget(m_intervalLabel);
    layout->addWidget(m_comparisonLabel);
    layout->addLayout(proposal);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(m_killTable, QCoreApplication::translate("Zorvane", "击杀"));
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    // Wide enough for every column, the line and server last, without scrolling.
    resize(680, 440);

    connect(m_exportButton, &QPushButton::clicked, this, &HistoryDialog::onExportClicked);
    connect(m_adoptButton, &QPushButton::clicked, this, [this] {
        if (!m_proposal) {
            return;
        }
        m_boss.periodMinutes = m_proposal->periodMinutes;
        m_boss.delayMinutes = m_proposal->delayMinutes;
        emit windowAdopted(m_proposal->periodMinutes, m_proposal->delayMinutes);
        refresh();
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

void HistoryDialog::showRoomAudit(history::RoomAuditLog& log, std::string room) {
    m_auditLog = &log;
    m_room = std::move(room);
    if (m_roomAudit == nullptr) {
        m_roomAudit = new RoomAuditView(this);
        m_tabs->addTab(
            m_roomAudit,
            QCoreApplication::translate("Zorvane", "房间记录（%1）").arg(fromUtf8(m_room)));
    }
    refresh();
}

void HistoryDialog::refresh() {
    if (m_auditLog != nullptr && m_roomAudit != nullptr) {
        m_roomAudit->showEntries(m_auditLog->ofBoss(m_room, m_boss.name, kShownKills));
    }
    const std::int64_t total = m_log.recordCount(m_boss.name);
    m_titleLabel->setText(
        QCoreApplication::translate("Zorvane", "%1　周期 %2 分，延迟 %3 分　（共 %4 条记录）")
            .arg(fromUtf8(m_boss.name))
            .arg(m_boss.periodMinutes)
            .arg(m_boss.delayMinutes)
            .arg(total));

    const history::IntervalStats stats = m_log.killIntervals(m_boss.name);
    const std::int64_t cycle =
        (static_cast<std::int64_t>(m_boss.periodMinutes) + m_boss.delayMinutes) * 60;
    if (stats.count == 0) {
        m_intervalLabel->setText(
            QCoreApplication::translate("Zorvane", "击杀间隔：至少要有两次击杀才能算出间隔。"));
        m_comparisonLabel->clear();
    } else {
        const auto median = static_cast<std::int64_t>(std::llround(stats.medianSeconds));
        m_intervalLabel->setText(
            QCoreApplication::translate("Zorvane", "击杀间隔 %1 个：最短 %2，中位 %3，最长 %4")
                .arg(stats.count)
                .arg(duration(stats.minSeconds), duration(median), duration(stats.maxSeconds)));
        const QString configured =
            QCoreApplication::translate("Zorvane", "配置的周期加延迟（%1）").arg(duration(cycle));
        if (median == cycle) {
            m_comparisonLabel->setText(QCoreApplication::translate("Zorvane", "中位间隔与") +
                                       configured +
                                       QCoreApplication::translate("Zorvane", "相同。"));
        } else {
            m_comparisonLabel->setText(QCoreApplication::translate("Zorvane", "中位间隔比%1%2 %3。")
                                           .arg(configured,
                                                median > cycle
                                                    ? QCoreApplication::translate("Zorvane", "长")
                                                    : QCoreApplication::translate("Zorvane", "短"),
                                                duration(std::llabs(median - cycle))));
        }
    }

    showProposal(stats);

    const std::vector<schedule::KillRecord> kills = m_log.recentKills(m_boss.name, kShownKills);
    m_killTable->setRowCount(static_cast<int>(kills.size()));
    for (int row = 0; row < static_cast<int>(kills.size()); ++row) {
        const schedule::KillRecord& kill = kills[static_cast<std::size_t>(row)];
        const QString cells[] = {
            fromUtf8(history::localTimeText(kill.utcSeconds)),
            messageText(history::sourceMessage(kill.source)),
            QString::number(kill.periodMinutes),
            QString::number(kill.delayMinutes),
            fromUtf8(kill.sender),
            lineText(kill.server, kill.line),
        };
        for (int column = 0; column < 6; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column < 4) {
                item->setTextAlignment(Qt::AlignCenter);
            }
            m_killTable->setItem(row, column, item);
        }
    }
    // Wide enough for the titles and texts of every language, never narrower than set.
    const int minimumWidths[] = {170, 80, 70, 70};
    for (int column = 0; column < 4; ++column) {
        m_killTable->resizeColumnToContents(column);
        m_killTable->setColumnWidth(
            column, std::max(minimumWidths[column], m_killTable->columnWidth(column)));
    }
    if (!m_log.isOpen()) {
        m_statusLabel->setText(QCoreApplication::translate("Zorvane", "历史记录不可用：") +
                               messageText(m_log.notice()));
    }
}

void HistoryDialog::showProposal(const history::IntervalStats& stats) {
    m_proposal = history::proposeWindow(stats);
    if (!m_proposal) {
        m_proposalLabel->setText(QCoreApplication::translate(
                                     "Zorvane", "刷新窗口：至少要有 %1 个正常的击杀间隔才能推算。")
                                     .arg(history::kLeastIntervalsForWindow));
        m_adoptButton->hide();
        return;
    }
    const auto window = [](std::int64_t earliest, std::int64_t width) {
        return QCoreApplication::translate("Zorvane", "%1 – %2")
            .arg(duration(earliest * 60), duration((earliest + width) * 60));
    };
    m_proposalLabel->setText(
        QCoreApplication::translate("Zorvane", "按 %1 个击杀间隔，刷新窗口为 %2；本行为 %3")
            .arg(m_proposal->intervals)
            .arg(window(m_proposal->periodMinutes, m_proposal->delayMinutes),
                 window(m_boss.periodMinutes, m_boss.delayMinutes)));
    const bool same = m_proposal->periodMinutes == m_boss.periodMinutes &&
                      m_proposal->delayMinutes == m_boss.delayMinutes;
    m_adoptButton->setVisible(true);
    m_adoptButton->setEnabled(!same);
}

void HistoryDialog::onExportClicked() {
    const QString suggested =
        QDir(m_exportDirectory.isEmpty() ? QDir::homePath() : m_exportDirectory)
            .filePath(exportFileName(m_boss.name));
    const QString chosen =
        m_fileDialog(this, QCoreApplication::translate("Zorvane", "导出 CSV"), suggested,
                     QCoreApplication::translate("Zorvane", "CSV 文件 (*.csv);;所有文件 (*)"));
    if (chosen.isEmpty()) {
        return;
    }
    text::Message error;
    if (m_log.exportCsv(m_boss.name, text::pathFromUtf8(chosen.toStdString()), &error)) {
        m_statusLabel->setStyleSheet(QString());
        m_statusLabel->setText(QCoreApplication::translate("Zorvane", "已导出到 ") +
                               QDir::toNativeSeparators(chosen));
    } else {
        m_statusLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
        m_statusLabel->setText(QCoreApplication::translate("Zorvane", "导出失败：") +
                               messageText(error));
    }
}

} // namespace zorvane::app
