#include "widgets/linesdialog.h"

#include "schedule/linetimers.h"
#include "services/linebook.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <optional>
#include <string>
#include <vector>

namespace zorvane::app {
namespace {

QString joined(const std::vector<std::string>& parts) {
    QStringList list;
    for (const std::string& part : parts) {
        list << QString::fromStdString(part);
    }
    return list.join(QStringLiteral(", "));
}

} // namespace

LinesDialog::LinesDialog(LineBook& lines, schedule::RowId row, const QString& boss, QWidget* parent)
    : QDialog(parent), m_book(lines), m_row(row) {
    setObjectName(QStringLiteral("linesDialog"));
    setWindowTitle(QCoreApplication::translate("Zorvane", "分线与服务器 - %1").arg(boss));
    const std::optional<schedule::BossLines> current = m_book.board().lines(row);
    m_servers = new QLineEdit(current ? joined(current->servers) : QString(), this);
    m_servers->setPlaceholderText(
        QCoreApplication::translate("Zorvane", "一区, 二区（留空：只有一个服务器）"));
    m_lines = new QLineEdit(
        current ? QString::fromStdString(schedule::lineLabelsText(current->lines)) : QString(),
        this);
    m_lines->setPlaceholderText(QCoreApplication::translate("Zorvane", "1-60, A（留空：不分线）"));
    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->hide();

    auto* form = new QFormLayout;
    form->addRow(QCoreApplication::translate("Zorvane", "服务器："), m_servers);
    form->addRow(QCoreApplication::translate("Zorvane", "分线："), m_lines);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Zorvane", "确定"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("Zorvane", "取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LinesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LinesDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    // Room for "1-60, A" and for the reason of a refusal under it.
    setMinimumWidth(420);
}

void LinesDialog::accept() {
    schedule::BossLines lines;
    // Servers are separated as players type lists: commas of either width or 、.
    for (const QString& server : m_servers->text().split(
             QRegularExpression(QStringLiteral("[,，、]")), Qt::SkipEmptyParts)) {
        if (!server.trimmed().isEmpty()) {
            lines.servers.push_back(server.trimmed().toStdString());
        }
    }
    const QString labels = m_lines->text().trimmed();
    QString error;
    if (!labels.isEmpty()) {
        const std::optional<std::vector<std::string>> parsed =
            schedule::parseLineLabels(labels.toStdString());
        if (!parsed) {
            error =
                QCoreApplication::translate(
                    "Zorvane", "分线“%1”无效：写成“1-60”或“1-40, A”，范围由小到大，每条线只写一次，"
                               "每个服务器最多 %2 条线")
                    .arg(labels)
                    .arg(schedule::kMaxLinesPerServer);
        } else {
            lines.lines = *parsed;
        }
    } else if (!lines.servers.empty()) {
        error = QCoreApplication::translate("Zorvane", "有服务器时也要写分线，例如“1”");
    }
    if (error.isEmpty() && m_book.setLines(m_row, lines, error)) {
        emit stored(m_row);
        QDialog::accept();
        return;
    }
    m_problem->setText(error);
    m_problem->show();
    // The reason takes lines of its own: the dialog grows to show it whole.
    adjustSize();
}

} // namespace zorvane::app
