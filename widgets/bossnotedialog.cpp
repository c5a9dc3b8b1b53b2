#include "widgets/bossnotedialog.h"

#include "services/bossnotebook.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvane::app {

BossNoteDialog::BossNoteDialog(BossNoteBook& notes, std::string boss, QWidget* parent)
    : QDialog(parent), m_notes(notes), m_boss(std::move(boss)) {
    setObjectName(QStringLiteral("bossNoteDialog"));
    setWindowTitle(
        QCoreApplication::translate("Zorvane", "备注 - %1").arg(QString::fromStdString(m_boss)));
    const config::BossNote note = m_notes.note(m_boss);
    m_location = new QLineEdit(QString::fromStdString(note.location), this);
    m_location->setPlaceholderText(QCoreApplication::translate("Zorvane", "地图、坐标"));
    m_drops = new QLineEdit(QString::fromStdString(note.drops), this);
    m_text = new QPlainTextEdit(QString::fromStdString(note.text), this);
    for (QLineEdit* edit : {m_location, m_drops}) {
        edit->setMaxLength(static_cast<int>(config::kMaxNoteFieldBytes / 4));
    }
    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->hide();

    auto* form = new QFormLayout;
    form->addRow(QCoreApplication::translate("Zorvane", "位置："), m_location);
    form->addRow(QCoreApplication::translate("Zorvane", "掉落："), m_drops);
    form->addRow(QCoreApplication::translate("Zorvane", "备注："), m_text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Zorvane", "确定"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("Zorvane", "取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &BossNoteDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BossNoteDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

void BossNoteDialog::accept() {
    const config::BossNote note{m_location->text().trimmed().toStdString(),
                                m_drops->text().trimmed().toStdString(),
                                m_text->toPlainText().trimmed().toStdString()};
    QString error;
    if (note.text.size() > config::kMaxNoteFieldBytes) {
        error = QCoreApplication::translate("Zorvane", "备注太长：最多 %1 字节")
                    .arg(config::kMaxNoteFieldBytes);
    } else if (m_notes.setNote(m_boss, note, error)) {
        QDialog::accept();
        return;
    }
    m_problem->setText(error);
    m_problem->show();
}

} // namespace zorvane::app
