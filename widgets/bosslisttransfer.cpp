#include "widgets/bosslisttransfer.h"

#include "services/bossnotebook.h"
#include "services/configwriter.h"
#include "services/coretexts.h"
#include "services/linebook.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "text/fileio.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <utility>

namespace zorvane::app {
namespace {

QString tr(const char* source) {
    return QCoreApplication::translate("Zorvane", source);
}

QString fileFilter() {
    return tr("首领列表 (*.json);;所有文件 (*)");
}

QString changesText(unsigned changes) {
    static const std::array<std::pair<unsigned, const char*>, 8> kNames = {{
        {config::kPeriodChanged, QT_TRANSLATE_NOOP("Zorvane", "周期")},
        {config::kDelayChanged, QT_TRANSLATE_NOOP("Zorvane", "延迟")},
        {config::kRuleChanged, QT_TRANSLATE_NOOP("Zorvane", "规则")},
        {config::kZoneChanged, QT_TRANSLATE_NOOP("Zorvane", "时区")},
        {config::kLeadChanged, QT_TRANSLATE_NOOP("Zorvane", "提前时间")},
        {config::kNotesChanged, QT_TRANSLATE_NOOP("Zorvane", "备注")},
        {config::kGroupChanged, QT_TRANSLATE_NOOP("Zorvane", "分组")},
        {config::kLinesChanged, QT_TRANSLATE_NOOP("Zorvane", "分线")},
    }};
    QStringList names;
    for (const auto& [bit, name] : kNames) {
        if ((changes & bit) != 0) {
            names << tr(name);
        }
    }
    return names.join(tr("、"));
}

} // namespace

QString mergeReportText(const config::MergeReport& report) {
    QStringList lines;
    const auto group = [&lines](const QString& heading, const QStringList& items) {
        if (items.isEmpty()) {
            return;
        }
        if (!lines.isEmpty()) {
            lines << QString();
        }
        lines << heading.arg(items.size());
        for (const QString& item : items) {
            lines << QStringLiteral("  ") + item;
        }
    };
    QStringList added;
    for (const std::string& name : report.added) {
        added << QString::fromStdString(name);
    }
    QStringList changed;
    for (const config::MergeReport::Changed& change : report.changed) {
        changed
            << tr("%1（%2）").arg(QString::fromStdString(change.name), changesText(change.changes));
    }
    QStringList unchanged;
    for (const std::string& name : report.unchanged) {
        unchanged << QString::fromStdString(name);
    }
    QStringList skipped;
    for (const config::MergeReport::Skipped& skip : report.skipped) {
        skipped << tr("%1（%2）").arg(QString::fromStdString(skip.name), messageText(skip.reason));
    }
    group(tr("新增 %1 个："), added);
    group(tr("修改 %1 个："), changed);
    group(tr("未变 %1 个："), unchanged);
    group(tr("跳过 %1 个："), skipped);
    return lines.join(QLatin1Char('\n'));
}

MergeReportDialog::MergeReportDialog(const config::MergeReport& report, const QString& origin,
                                     QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("mergeReportDialog"));
    setWindowTitle(tr("导入首领列表"));
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    QString summary = tr("%1：新增 %2 个，修改 %3 个，未变 %4 个，跳过 %5 个。")
                          .arg(origin)
                          .arg(report.added.size())
                          .arg(report.changed.size())
                          .arg(report.unchanged.size())
                          .arg(report.skipped.size());
    summary += QLatin1Char('\n') + (report.changesAnything() ? tr("击杀时间不会改动。")
                                                             : tr("这份列表不会改动任何首领。"));
    m_summary->setText(summary);
    m_details = new QPlainTextEdit(mergeReportText(report), this);
    m_details->setReadOnly(true);
    m_details->setMinimumSize(420, 260);
    auto* buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(tr("导入"), QDialogButtonBox::AcceptRole);
    m_import->setEnabled(report.changesAnything());
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_details);
    layout->addWidget(buttons);
}

QString BossListFileDialogs::exportFile(const QString& suggested) {
    return QFileDialog::getSaveFileName(m_owner, tr("导出首领列表"), suggested, fileFilter());
}

QString BossListFileDialogs::importFile() {
    return QFileDialog::getOpenFileName(m_owner, tr("导入首领列表"), QDir::homePath(),
                                        fileFilter());
}

bool BossListFileDialogs::acceptMerge(const config::MergeReport& report, const QString& origin) {
    MergeReportDialog dialog(report, origin, m_owner);
    return dialog.exec() == QDialog::Accepted;
}

void BossListFileDialogs::tell(const QString& text) {
    MessageBoxSink().showMessage(text::Message::literal(text.toStdString()));
}

BossListTransfer::BossListTransfer(Session& session, BossListDialogs& dialogs)
    : m_session(session), m_dialogs(dialogs) {}

void BossListTransfer::exportList() {
    QString problem;
    const std::optional<config::BossNotes> notes = m_session.notes().all(problem);
    if (!notes) {
        m_dialogs.tell(problem);
        return;
    }
    const QString file =
        m_dialogs.exportFile(QDir::home().filePath(QStringLiteral("zorvane-bosslist.json")));
    if (file.isEmpty()) {
        return;
    }
    const config::BossList list =
        config::bossListOf(m_session.table().rows(), *notes, &m_session.lines().board());
    text::Message error;
    if (!config::writeBossList(text::pathFromUtf8(file.toStdString()), list, error)) {
        m_dialogs.tell(messageText(error));
        return;
    }
    m_dialogs.tell(tr("已把 %1 个首领导出到 %2").arg(list.bosses.size()).arg(file));
}

void BossListTransfer::importList() {
    const QString file = m_dialogs.importFile();
    if (file.isEmpty()) {
        return;
    }
    text::Message error;
    std::optional<config::BossList> list =
        config::readBossList(text::pathFromUtf8(file.toStdString()), error);
    if (!list) {
        m_dialogs.tell(tr("无法导入 %1：%2").arg(file, messageText(error)));
        return;
    }
    offerMerge(std::move(*list), QFileInfo(file).fileName());
}

bool BossListTransfer::offerMerge(config::BossList list, const QString& origin) {
    QString problem;
    std::optional<config::BossNotes> notes = m_session.notes().all(problem);
    if (!notes) {
        m_dialogs.tell(problem);
        return false;
    }
    const config::BossListMerge merge = config::planBossListMerge(
        m_session.table().rows(), *notes, std::move(list), &m_session.lines().board());
    if (!m_dialogs.acceptMerge(merge.report, origin) || !merge.report.changesAnything()) {
        return false;
    }
    // Lines cannot be kept while lines.json is unreadable: then nothing is merged.
    const bool givesLines =
        std::any_of(merge.steps.begin(), merge.steps.end(), [&](const auto& step) {
            return step.row == 0 ? !merge.list.bosses[step.boss].lines.empty()
                                 : (step.changes & config::kLinesChanged) != 0;
        });
    if (givesLines && !m_session.lines().loadProblem().isEmpty()) {
        m_dialogs.tell(tr("无法导入 %1：%2").arg(origin, m_session.lines().loadProblem()));
        return false;
    }
    config::applyBossListMerge(m_session.table(), *notes, merge);
    m_session.writer().saveTable(m_session.table());
    // Lines after the rows, which they are kept for by name; the list was checked as
    // setLines checks, so a refusal here is news.
    for (const auto& [row, lines] : config::mergedLines(m_session.table(), merge)) {
        if (!m_session.lines().setLines(row, lines, problem)) {
            m_dialogs.tell(problem);
        }
    }
    if (!m_session.notes().replaceAll(std::move(*notes), problem)) {
        m_dialogs.tell(problem);
    }
    m_session.tellUnreadRules();
    return true;
}

void BossListTransfer::offerToRoom() {
    RoomConnection* room = m_session.room();
    if (room == nullptr || !room->inRoom()) {
        m_dialogs.tell(tr("没有加入房间"));
        return;
    }
    if (!room->canOfferList()) {
        m_dialogs.tell(tr("只有房间的管理员可以提供首领列表"));
        return;
    }
    QString problem;
    const std::optional<config::BossNotes> notes = m_session.notes().all(problem);
    if (!notes) {
        m_dialogs.tell(problem);
        return;
    }
    const config::BossList list =
        config::bossListOf(m_session.table().rows(), *notes, &m_session.lines().board());
    if (!room->offerList(list, problem)) {
        m_dialogs.tell(problem);
        return;
    }
    m_dialogs.tell(tr("已向房间提供 %1 个首领").arg(list.bosses.size()));
}

void BossListTransfer::takeRoomOffer() {
    RoomConnection* room = m_session.room();
    if (room == nullptr || !room->listOffer()) {
        return;
    }
    const RoomConnection::ListOffer offer = *room->listOffer();
    offerMerge(offer.list, tr("%1 提供的首领列表").arg(offer.nickname));
    room->setListOfferHandled();
}

} // namespace zorvane::app
