#include "app/preferencesdialog.h"

#include "app/preferences.h"
#include "schedule/leadtimes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zorvane::app {

namespace {

QLabel* errorLabel(const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setStyleSheet(QStringLiteral("color: #c00000;"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

void showError(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

PreferencesDialog::PreferencesDialog(Preferences& preferences, QWidget* parent)
    : QDialog(parent), m_preferences(preferences) {
    setWindowTitle(QStringLiteral("首选项"));
    setObjectName(QStringLiteral("preferencesDialog"));

    auto* tabs = new QTabWidget(this);

    // 提醒: how the user is told.
    auto* alertsPage = new QWidget(tabs);
    auto* alertsForm = new QFormLayout(alertsPage);
    m_notifications = new QCheckBox(QStringLiteral("显示桌面通知"), alertsPage);
    m_notifications->setObjectName(QStringLiteral("notificationsBox"));
    alertsForm->addRow(m_notifications);

    m_leadTimes = new QLineEdit(alertsPage);
    m_leadTimes->setObjectName(QStringLiteral("leadTimesEdit"));
    m_leadTimes->setPlaceholderText(QStringLiteral("例如 10, 1"));
    alertsForm->addRow(QStringLiteral("额外提前(分钟)："), m_leadTimes);
    // One short line: taller Chinese fallback glyphs are cut off in a multi-line label.
    auto* leadHint =
        new QLabel(QStringLiteral("主窗口预警之外再提醒的分钟数，用逗号分隔"), alertsPage);
    alertsForm->addRow(QString(), leadHint);
    m_leadTimesError = errorLabel(QStringLiteral("leadTimesError"), alertsPage);
    alertsForm->addRow(QString(), m_leadTimesError);

    m_repeatSeconds = new QSpinBox(alertsPage);
    m_repeatSeconds->setObjectName(QStringLiteral("repeatSecondsBox"));
    m_repeatSeconds->setRange(0, kMaxRepeatSeconds);
    m_repeatSeconds->setSuffix(QStringLiteral(" 秒"));
    m_repeatSeconds->setSpecialValueText(QStringLiteral("不重复"));
    alertsForm->addRow(QStringLiteral("到点后每隔："), m_repeatSeconds);
    m_repeatLimit = new QSpinBox(alertsPage);
    m_repeatLimit->setObjectName(QStringLiteral("repeatLimitBox"));
    m_repeatLimit->setRange(1, kMaxRepeatLimitMinutes);
    m_repeatLimit->setSuffix(QStringLiteral(" 分钟"));
    alertsForm->addRow(QStringLiteral("重复提醒，最多："), m_repeatLimit);
    tabs->addTab(alertsPage, QStringLiteral("提醒"));

    // 声音: what is heard.
    auto* soundPage = new QWidget(tabs);
    auto* soundForm = new QFormLayout(soundPage);
    auto* volumeRow = new QHBoxLayout;
    m_volumeSlider = new QSlider(Qt::Horizontal, soundPage);
    m_volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    m_volumeSlider->setRange(0, 100);
    m_volume = new QSpinBox(soundPage);
    m_volume->setObjectName(QStringLiteral("volumeBox"));
    m_volume->setRange(0, 100);
    m_volume->setSuffix(QStringLiteral(" %"));
    volumeRow->addWidget(m_volumeSlider, 1);
    volumeRow->addWidget(m_volume);
    soundForm->addRow(QStringLiteral("音量："), volumeRow);
    m_speech = new QCheckBox(QStringLiteral("铃声之后朗读BOSS名称"), soundPage);
    m_speech->setObjectName(QStringLiteral("speechBox"));
    soundForm->addRow(m_speech);
    tabs->addTab(soundPage, QStringLiteral("声音"));

    m_saveError = errorLabel(QStringLiteral("saveError"), this);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(m_saveError);
    layout->addWidget(m_buttons);

    connect(m_volumeSlider, &QSlider::valueChanged, m_volume, &QSpinBox::setValue);
    connect(m_volume, &QSpinBox::valueChanged, m_volumeSlider, &QSlider::setValue);
    connect(m_leadTimes, &QLineEdit::textChanged, this, &PreferencesDialog::checkLeadTimes);
    connect(m_repeatSeconds, &QSpinBox::valueChanged, this, &PreferencesDialog::updateRepeatLimit);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply()) {
            accept();
        }
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    load();
}

void PreferencesDialog::load() {
    m_notifications->setChecked(m_preferences.notificationsEnabled.get());
    m_leadTimes->setText(m_preferences.extraLeadTimes.get());
    m_repeatSeconds->setValue(m_preferences.repeatSeconds.get());
    m_repeatLimit->setValue(m_preferences.repeatLimitMinutes.get());
    m_volume->setValue(m_preferences.volume.get());
    m_speech->setChecked(m_preferences.speechEnabled.get());
    checkLeadTimes();
    updateRepeatLimit();
}

void PreferencesDialog::checkLeadTimes() {
    const schedule::LeadTimes parsed = schedule::parseLeadTimes(m_leadTimes->text().toStdString());
    showError(m_leadTimesError, QString::fromStdString(parsed.error));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(parsed.ok());
}

void PreferencesDialog::updateRepeatLimit() {
    m_repeatLimit->setEnabled(m_repeatSeconds->value() > 0);
}

bool PreferencesDialog::apply() {
    const schedule::LeadTimes parsed = schedule::parseLeadTimes(m_leadTimes->text().toStdString());
    if (!parsed.ok()) {
        showError(m_leadTimesError, QString::fromStdString(parsed.error));
        m_leadTimes->setFocus();
        return false;
    }
    // The list is stored as read ("10, 1"), so the file always holds what the program uses.
    bool written = m_preferences.notificationsEnabled.set(m_notifications->isChecked());
    written &= m_preferences.extraLeadTimes.set(
        QString::fromStdString(schedule::leadTimesText(parsed.minutes)));
    written &= m_preferences.repeatSeconds.set(m_repeatSeconds->value());
    written &= m_preferences.repeatLimitMinutes.set(m_repeatLimit->value());
    written &= m_preferences.volume.set(m_volume->value());
    written &= m_preferences.speechEnabled.set(m_speech->isChecked());
    showError(m_saveError,
              written
                  ? QString()
                  : QStringLiteral("无法写入设置文件：%1").arg(m_preferences.store().filePath()));
    return written;
}

} // namespace zorvane::app
