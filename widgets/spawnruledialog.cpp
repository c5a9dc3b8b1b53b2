#include "widgets/spawnruledialog.h"

#include "schedule/spawnrule.h"
#include "text/textops.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zorvane::app {
SpawnRuleDialog::SpawnRuleDialog(schedule::BossTable& table, schedule::RowId row, QWidget* parent)
    : QDialog(parent), m_table(table), m_row(row) {
    const std::optional<schedule::BossRow> boss = m_table.row(row);
    const QString name =
        boss ? QString::fromStdString(text::trim(boss->text[schedule::kNameColumn])) : QString();
    setWindowTitle(QCoreApplication::translate("Zorvane", "刷新规则 - %1").arg(name));
    setMinimumWidth(420);

    m_afterKill = new QRadioButton(
        QCoreApplication::translate("Zorvane", "击杀后刷新（周期为最早，延迟为窗口宽度）"), this);
    m_afterKill->setObjectName(QStringLiteral("afterKillButton"));
    m_window = new QLabel(this);
    m_window->setObjectName(QStringLiteral("windowLabel"));
    if (boss) {
        const int period = boss->timing.periodMinutes;
        const int delay = boss->timing.delayMinutes;
        m_window->setText(
            delay > 0 ? QCoreApplication::translate("Zorvane", "本行：击杀后 %1 至 %2 分钟")
                            .arg(period)
                            .arg(period + delay)
                      : QCoreApplication::translate("Zorvane", "本行：击杀后 %1 分钟").arg(period));
    }
    m_fixedTimes =
        new QRadioButton(QCoreApplication::translate("Zorvane", "固定时间刷新（无需击杀）"), this);
    m_fixedTimes->setObjectName(QStringLiteral("fixedTimesButton"));
    m_times = new QLineEdit(this);
    m_times->setObjectName(QStringLiteral("timesEdit"));
    m_times->setPlaceholderText(
        QCoreApplication::translate("Zorvane", "服务器时间，如 12:00 20:00"));
    auto* days = new QHBoxLayout;
    const char* const dayNames[] = {
        QT_TRANSLATE_NOOP("Zorvane", "一"), QT_TRANSLATE_NOOP("Zorvane", "二"),
        QT_TRANSLATE_NOOP("Zorvane", "三"), QT_TRANSLATE_NOOP("Zorvane", "四"),
        QT_TRANSLATE_NOOP("Zorvane", "五"), QT_TRANSLATE_NOOP("Zorvane", "六"),
        QT_TRANSLATE_NOOP("Zorvane", "日")};
    for (int d = 0; d < 7; ++d) {
        m_weekdays[static_cast<std::size_t>(d)] =
            new QCheckBox(QCoreApplication::translate("Zorvane", dayNames[d]), this);
        m_weekdays[static_cast<std::size_t>(d)]->setObjectName(QStringLiteral("weekday%1").arg(d));
        days->addWidget(m_weekdays[static_cast<std::size_t>(d)]);
    }
    auto* daysHint = new QLabel(QCoreApplication::translate("Zorvane", "不选星期则每天"), this);

    m_zone = new QComboBox(this);
    m_zone->setObjectName(QStringLiteral("zoneBox"));
    m_zone->setEditable(true);
    m_zone->addItem(QCoreApplication::translate("Zorvane", "本机时区"), QString());
    for (const char* zone : {"Asia/Shanghai", "Asia/Seoul", "Asia/Tokyo", "Asia/Taipei", "UTC",
                             "Europe/Berlin", "America/New_York", "UTC+08:00"}) {
        m_zone->addItem(QString::fromLatin1(zone), QString::fromLatin1(zone));
    }
    m_restart = new QComboBox(this);
    m_restart->setObjectName(QStringLiteral("restartBox"));
    m_restart->addItem(QCoreApplication::translate("Zorvane", "不变"),
                       static_cast<int>(schedule::RestartAnchor::Unchanged));
    m_restart->addItem(QCoreApplication::translate("Zorvane", "视为在重启时击杀"),
                       static_cast<int>(schedule::RestartAnchor::AsKill));
    m_restart->addItem(QCoreApplication::translate("Zorvane", "重启后若干分钟刷新"),
                       static_cast<int>(schedule::RestartAnchor::SpawnAfter));
    m_restartMinutes = new QSpinBox(this);
    m_restartMinutes->setObjectName(QStringLiteral("restartMinutesBox"));
    m_restartMinutes->setRange(0, 24 * 60);
    m_restartMinutes->setSuffix(QCoreApplication::translate("Zorvane", " 分钟"));
    m_remindMinutes = new QSpinBox(this);
    m_remindMinutes->setObjectName(QStringLiteral("remindMinutesBox"));
    m_remindMinutes->setRange(0, 24 * 60);
    m_remindMinutes->setSuffix(QCoreApplication::translate("Zorvane", " 分钟后"));
    m_remindMinutes->setSpecialValueText(QCoreApplication::translate("Zorvane", "不提醒"));
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problemLabel"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #a00000"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Zorvane", "确定"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("Zorvane", "取消"));

    auto* form = new QFormLayout;
    form->addRow(QCoreApplication::translate("Zorvane", "时区："), m_zone);
    auto* restartRow = new QHBoxLayout;
    restartRow->addWidget(m_restart, 1);
    restartRow->addWidget(m_restartMinutes);
    form->addRow(QCoreApplication::translate("Zorvane", "服务器重启后："), restartRow);
    form->addRow(QCoreApplication::translate("Zorvane", "刷新后无人记录击杀时提醒："),
                 m_remindMinutes);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_afterKill);
    layout->addWidget(m_window);
    layout->addWidget(m_fixedTimes);
    layout->addWidget(m_times);
    layout->addLayout(days);
    layout->addWidget(daysHint);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    const schedule::SpawnRule rule = boss ? boss->timing.spawn : schedule::SpawnRule{};
    (rule.kind == schedule::SpawnKind::FixedTimes ? m_fixedTimes : m_afterKill)->setChecked(true);
    m_times->setText(QString::fromStdString(schedule::timesOfDayText(rule.times)));
    for (int d = 0; d < 7; ++d) {
        m_weekdays[static_cast<std::size_t>(d)]->setChecked((rule.weekdays & (1u << d)) != 0);
    }
    if (!rule.zone.isLocal()) {
        const QString zone = QString::fromStdString(rule.zone.text());
        const int found = m_zone->findData(zone);
        if (found >= 0) {
            m_zone->setCurrentIndex(found);
        } else {
            m_zone->setEditText(zone);
        }
    }
    m_restart->setCurrentIndex(m_restart->findData(static_cast<int>(rule.restart)));
    m_restartMinutes->setValue(rule.restartMinutes);
    m_remindMinutes->setValue(rule.remindMinutes);

    connect(m_fixedTimes, &QRadioButton::toggled, this, &SpawnRuleDialog::updateFields);
    // Fixed times spawn whether anybody is there: the usual reminder is offered.
    connect(m_fixedTimes, &QRadioButton::toggled, this, [this](bool on) {
        if (on && m_remindMinutes->value() == 0) {
            m_remindMinutes->setValue(schedule::kSuggestedRemindMinutes);
        }
    });
    connect(m_restart, &QComboBox::currentIndexChanged, this, &SpawnRuleDialog::updateFields);
    connect(buttons, &QDialogButtonBox::accepted, this, &SpawnRuleDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SpawnRuleDialog::reject);
    updateFields();
}

void SpawnRuleDialog::updateFields() {
    const bool fixed = m_fixedTimes->isChecked();
    m_times->setEnabled(fixed);
    for (QCheckBox* box : m_weekdays) {
        box->setEnabled(fixed);
    }
    m_window->setEnabled(!fixed);
    m_restartMinutes->setEnabled(m_restart->currentData().toInt() ==
                                 static_cast<int>(schedule::RestartAnchor::SpawnAfter));
}

std::optional<schedule::SpawnRule> SpawnRuleDialog::chosenRule() {
    schedule::SpawnRule rule;
    if (m_fixedTimes->isChecked()) {
        rule.kind = schedule::SpawnKind::FixedTimes;
        const std::optional<std::vector<std::int32_t>> times =
            schedule::parseTimesOfDay(m_times->text().toStdString());
        if (!times) {
            m_problem->setText(
                QCoreApplication::translate("Zorvane", "无法读取时间“%1”：请写成 12:00 20:00")
                    .arg(m_times->text()));
            return std::nullopt;
        }
        rule.times = *times;
        for (int d = 0; d < 7; ++d) {
            if (m_weekdays[static_cast<std::size_t>(d)]->isChecked()) {
                rule.weekdays = static_cast<std::uint8_t>(rule.weekdays | (1u << d));
            }
        }
    }
    // A chosen entry carries its zone; a typed one is read as typed.
    const QString typed = m_zone->currentText().trimmed();
    const int index = m_zone->findText(typed);
    const QString zoneText = index >= 0 ? m_zone->itemData(index).toString() : typed;
    const std::optional<schedule::ServerZone> zone =
        schedule::ServerZone::fromText(zoneText.toStdString());
    if (!zone) {
        m_problem->setText(
            QCoreApplication::translate("Zorvane",
                                        "未知的时区“%1”：请用 Asia/Shanghai 这样的名称或 UTC+08:00")
                .arg(typed));
        return std::nullopt;
    }
    rule.zone = *zone;
    rule.restart = static_cast<schedule::RestartAnchor>(m_restart->currentData().toInt());
    rule.restartMinutes =
        rule.restart == schedule::RestartAnchor::SpawnAfter ? m_restartMinutes->value() : 0;
    rule.remindMinutes = m_remindMinutes->value();
    m_problem->clear();
    return rule;
}

void SpawnRuleDialog::accept() {
    std::optional<schedule::SpawnRule> rule = chosenRule();
    if (!rule) {
        return;
    }
    if (m_table.setSpawnRule(m_row, std::move(*rule))) {
        emit stored(m_row);
    }
    QDialog::accept();
}

} // namespace zorvane::app
