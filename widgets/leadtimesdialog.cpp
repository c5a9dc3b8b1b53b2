#include "widgets/leadtimesdialog.h"
#include "services/coretexts.h"

#include "schedule/leadtimes.h"
#include "text/textops.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace zorvane::app {

LeadTimesDialog::LeadTimesDialog(schedule::BossTable& table, schedule::RowId row,
                                 std::vector<int> extraLeadMinutes, QWidget* parent)
    : QDialog(parent), m_table(table), m_row(row), m_extraLeadMinutes(std::move(extraLeadMinutes)) {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    const QString name =
        boss ? QString::fromStdString(text::trim(boss->text[schedule::kNameColumn])) : QString();
    m_periodMinutes = boss ? boss->timing.periodMinutes : 0;
    setWindowTitle(QCoreApplication::translate("Zorvane", "提前提醒 - %1").arg(name));
    // Wide enough for the hint and the note on one line each.
    setMinimumWidth(400);

    const QString global =
        m_extraLeadMinutes.empty()
            ? QCoreApplication::translate("Zorvane", "无")
            : QString::fromStdString(schedule::leadTimesText(m_extraLeadMinutes));
    m_own = new QCheckBox(
        QCoreApplication::translate("Zorvane", "本行使用自己的提前时间（首选项中为：%1）")
            .arg(global),
        this);
    m_own->setObjectName(QStringLiteral("ownLeadTimesBox"));
    m_list = new QLineEdit(this);
    m_list->setObjectName(QStringLiteral("leadTimesEdit"));
    m_list->setPlaceholderText(
        QCoreApplication::translate("Zorvane", "分钟，如 15, 3；留空则只在预警分钟提醒"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("leadTimesNote"));
    m_note->setWordWrap(true);
    auto* hint = new QLabel(QCoreApplication::translate(
                                "Zorvane", "预警分钟（编辑框）总会提醒；这里是另外的提前时间。"),
                            this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Zorvane", "确定"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("Zorvane", "取消"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_own);
    layout->addWidget(m_list);
    layout->addWidget(m_note);
    layout->addWidget(buttons);

    if (boss && boss->timing.leadMinutes) {
        m_own->setChecked(true);
        m_list->setText(QString::fromStdString(schedule::leadTimesText(*boss->timing.leadMinutes)));
    }
    m_list->setEnabled(m_own->isChecked());
    connect(m_own, &QCheckBox::toggled, m_list, &QLineEdit::setEnabled);
    connect(m_own, &QCheckBox::toggled, this, &LeadTimesDialog::updateNote);
    connect(m_list, &QLineEdit::textChanged, this, &LeadTimesDialog::updateNote);
    connect(buttons, &QDialogButtonBox::accepted, this, &LeadTimesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LeadTimesDialog::reject);
    updateNote();
}

void LeadTimesDialog::updateNote() {
    text::Message note;
    bool bad = false;
    if (!m_own->isChecked()) {
        note = schedule::leadTimesNote(m_extraLeadMinutes, m_periodMinutes);
    } else {
        const schedule::LeadTimes read = schedule::parseLeadTimes(m_list->text().toStdString());
        bad = !read.ok();
        note = bad ? read.error : schedule::leadTimesNote(read.minutes, m_periodMinutes);
    }
    m_note->setText(messageText(note));
    m_note->setStyleSheet(note.empty() ? QString()
                          : bad        ? QStringLiteral("color: #c00000;")
                                       : QStringLiteral("color: #a05a00;"));
}

void LeadTimesDialog::accept() {
    std::optional<std::vector<int>> own;
    if (m_own->isChecked()) {
        const schedule::LeadTimes read = schedule::parseLeadTimes(m_list->text().toStdString());
        if (!read.ok()) {
            updateNote();
            m_list->setFocus();
            return;
        }
        own = read.minutes;
    }
    if (!m_table.setLeadMinutes(m_row, std::move(own))) {
        m_note->setText(QCoreApplication::translate("Zorvane", "这一行已被删除"));
        return;
    }
    emit stored(m_row);
    QDialog::accept();
}

} // namespace zorvane::app
