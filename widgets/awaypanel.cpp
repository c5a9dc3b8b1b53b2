#include "widgets/awaypanel.h"

#include "schedule/cycle.h"
#include "schedule/timetext.h"
#include "services/coretexts.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zorvane::app {
namespace {

QString localDateTimeText(schedule::UtcSeconds instant) {
    return QString::fromStdString(
        schedule::formatDateTime(schedule::toLocal(instant), "yyyy-MM-dd ", "hh:mm:ss", true));
}

QTableWidgetItem* item(const QString& text) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    cell->setTextAlignment(Qt::AlignCenter);
    return cell;
}

} // namespace

AwayPanel::AwayPanel(const std::vector<schedule::MissedRow>& missed, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("awayPanel"));
    setWindowTitle(QCoreApplication::translate("Zorvane", "离开期间"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QCoreApplication::translate("Zorvane", "程序未运行期间，以下BOSS已到期："), this));

    m_list = new QTableWidget(static_cast<int>(missed.size()), 5, this);
    m_list->setHorizontalHeaderLabels({QCoreApplication::translate("Zorvane", "BOSS事件"),
                                       QCoreApplication::translate("Zorvane", "到期时间"),
                                       QCoreApplication::translate("Zorvane", "错过周期"),
                                       QCoreApplication::translate("Zorvane", "本周期开始"),
                                       QCoreApplication::translate("Zorvane", "距下次")});
    m_list->verticalHeader()->hide();
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int i = 0; i < static_cast<int>(missed.size()); ++i) {
        const schedule::MissedRow& row = missed[static_cast<std::size_t>(i)];
        m_list->setItem(i, 0, item(QString::fromStdString(row.boss)));
        m_list->setItem(i, 1, item(localDateTimeText(row.firstDue)));
        m_list->setItem(i, 2, item(QString::number(row.cyclesPassed)));
        m_list->setItem(i, 3, item(localDateTimeText(row.cycleStart)));
        m_list->setItem(i, 4, item(messageText(schedule::countdownMessage(row.remaining))));
    }
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->resizeColumnsToContents();
    m_list->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)
        ->setText(QCoreApplication::translate("Zorvane", "关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(640, 120 + 30 * std::min<int>(static_cast<int>(missed.size()), 10));
}

} // namespace zorvane::app
