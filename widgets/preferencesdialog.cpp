#include "widgets/preferencesdialog.h"
#include "services/coretexts.h"

#include "schedule/leadtimes.h"
#include "services/preferences.h"
#include "share/killevent.h"
#include "share/roomlink.h"
#include "widgets/pushpage.h"
#include "widgets/shortcutpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

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
    setWindowTitle(QCoreApplication::translate("Zorvane", "首选项"));
    setObjectName(QStringLiteral("preferencesDialog"));

    auto* tabs = new QTabWidget(this);
    m_tabs = tabs;

    // 提醒: how the user is told.
    auto* alertsPage = new QWidget(tabs);
    auto* alertsForm = new QFormLayout(alertsPage);
    m_notifications =
        new QCheckBox(QCoreApplication::translate("Zorvane", "显示桌面通知"), alertsPage);
    m_notifications->setObjectName(QStringLiteral("notificationsBox"));
    alertsForm->addRow(m_notifications);

    m_leadTimes = new QLineEdit(alertsPage);
    m_leadTimes->setObjectName(QStringLiteral("leadTimesEdit"));
    m_leadTimes->setPlaceholderText(QCoreApplication::translate("Zorvane", "例如 10, 1"));
    alertsForm->addRow(QCoreApplication::translate("Zorvane", "额外提前(分钟)："), m_leadTimes);
    // One short line: taller Chinese fallback glyphs are cut off in a multi-line label.
    auto* leadHint = new QLabel(
        QCoreApplication::translate("Zorvane", "主窗口预警之外再提醒的分钟数，用逗号分隔"),
        alertsPage);
    alertsForm->addRow(QString(), leadHint);
    m_leadTimesError = errorLabel(QStringLiteral("leadTimesError"), alertsPage);
    alertsForm->addRow(QString(), m_leadTimesError);

    m_repeatSeconds = new QSpinBox(alertsPage);
    m_repeatSeconds->setObjectName(QStringLiteral("repeatSecondsBox"));
    m_repeatSeconds->setRange(0, kMaxRepeatSeconds);
    m_repeatSeconds->setSuffix(QCoreApplication::translate("Zorvane", " 秒"));
    m_repeatSeconds->setSpecialValueText(QCoreApplication::translate("Zorvane", "不重复"));
    alertsForm->addRow(QCoreApplication::translate("Zorvane", "到点后每隔："), m_repeatSeconds);
    m_repeatLimit = new QSpinBox(alertsPage);
    m_repeatLimit->setObjectName(QStringLiteral("repeatLimitBox"));
    m_repeatLimit->setRange(1, kMaxRepeatLimitMinutes);
    m_repeatLimit->setSuffix(QCoreApplication::translate("Zorvane", " 分钟"));
    alertsForm->addRow(QCoreApplication::translate("Zorvane", "重复提醒，最多："), m_repeatLimit);
    tabs->addTab(alertsPage, QCoreApplication::translate("Zorvane", "提醒"));

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
    soundForm->addRow(QCoreApplication::translate("Zorvane", "音量："), volumeRow);
    m_speech =
        new QCheckBox(QCoreApplication::translate("Zorvane", "铃声之后朗读BOSS名称"), soundPage);
    m_speech->setObjectName(QStringLiteral("speechBox"));
    soundForm->addRow(m_speech);
    tabs->addTab(soundPage, QCoreApplication::translate("Zorvane", "声音"));

    // 共享: the room kills are shared with.
    auto* roomPage = new QWidget(tabs);
    auto* roomForm = new QFormLayout(roomPage);
    m_roomLink = new QLineEdit(roomPage);
    m_roomLink->setObjectName(QStringLiteral("roomLinkEdit"));
    m_roomLink->setPlaceholderText(
        QCoreApplication::translate("Zorvane", "mqtts://用户@服务器/房间（空：不共享）"));
    roomForm->addRow(QCoreApplication::translate("Zorvane", "房间链接："), m_roomLink);
    m_roomLinkError = errorLabel(QStringLiteral("roomLinkError"), roomPage);
    roomForm->addRow(QString(), m_roomLinkError);
    m_roomPassword = new QLineEdit(roomPage);
    m_roomPassword->setObjectName(QStringLiteral("roomPasswordEdit"));
    m_roomPassword->setEchoMode(QLineEdit::Password);
    roomForm->addRow(QCoreApplication::translate("Zorvane", "密码："), m_roomPassword);
    m_roomNickname = new QLineEdit(roomPage);
    m_roomNickname->setObjectName(QStringLiteral("roomNicknameEdit"));
    roomForm->addRow(QCoreApplication::translate("Zorvane", "昵称："), m_roomNickname);
    auto* caRow = new QHBoxLayout;
    m_roomCaFile = new QLineEdit(roomPage);
    m_roomCaFile->setObjectName(QStringLiteral("roomCaFileEdit"));
    m_roomCaFile->setPlaceholderText(QCoreApplication::translate("Zorvane", "空：系统的证书"));
    auto* caBrowse = new QPushButton(QCoreApplication::translate("Zorvane", "选择…"), roomPage);
    caRow->addWidget(m_roomCaFile, 1);
    caRow->addWidget(caBrowse);
    roomForm->addRow(QCoreApplication::translate("Zorvane", "CA 证书："), caRow);
    m_sharedRows = new QListWidget(roomPage);
    m_sharedRows->setObjectName(QStringLiteral("sharedRowsList"));
    roomForm->addRow(QCoreApplication::translate("Zorvane", "共享的BOSS："), m_sharedRows);
    tabs->addTab(roomPage, QCoreApplication::translate("Zorvane", "共享"));
    connect(caBrowse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, QCoreApplication::translate("Zorvane", "CA 证书"), m_roomCaFile->text(),
            QStringLiteral("PEM (*.pem *.crt);;*"));
        if (!file.isEmpty()) {
            m_roomCaFile->setText(file);
        }
    });

    m_saveError = errorLabel(QStringLiteral("saveError"), this);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)
        ->setText(QCoreApplication::translate("Zorvane", "确定"));
    m_buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("Zorvane", "取消"));

    auto* layout = new QVBoxLayout(this);
    // 语言: each language is named in itself, so it can be found whatever is shown now.
    auto* languagePage = new QWidget(tabs);
    auto* languageForm = new QFormLayout(languagePage);
    m_language = new QComboBox(languagePage);
    m_language->setObjectName(QStringLiteral("languageBox"));
    m_language->addItem(QStringLiteral("中文"), QStringLiteral("zh"));
    m_language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    languageForm->addRow(QCoreApplication::translate("Zorvane", "界面语言："), m_language);
    auto* languageNote = new QLabel(
        QCoreApplication::translate("Zorvane", "更改语言在下次启动时生效。"), languagePage);
    languageNote->setWordWrap(true);
    languageForm->addRow(languageNote);
    tabs->addTab(languagePage, QCoreApplication::translate("Zorvane", "语言"));

    layout->addWidget(tabs);
    layout->addWidget(m_saveError);
    layout->addWidget(m_buttons);

    connect(m_volumeSlider, &QSlider::valueChanged, m_volume, &QSpinBox::setValue);
    connect(m_volume, &QSpinBox::valueChanged, m_volumeSlider, &QSlider::setValue);
    connect(m_leadTimes, &QLineEdit::textChanged, this, &PreferencesDialog::checkLeadTimes);
    connect(m_roomLink, &QLineEdit::textChanged, this, &PreferencesDialog::checkRoomLink);
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
    m_roomLink->setText(m_preferences.roomLink.get());
    m_roomPassword->setText(m_preferences.roomPassword.get());
    m_roomNickname->setText(m_preferences.roomNickname.get());
    m_roomCaFile->setText(m_preferences.roomCaFile.get());
    m_language->setCurrentIndex(std::max(0, m_language->findData(m_preferences.language.get())));
    checkLeadTimes();
    updateRepeatLimit();
}

void PreferencesDialog::checkLeadTimes() {
    const schedule::LeadTimes parsed = schedule::parseLeadTimes(m_leadTimes->text().toStdString());
    showError(m_leadTimesError, messageText(parsed.error));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(parsed.ok());
}

void PreferencesDialog::checkRoomLink() {
    const QString link = m_roomLink->text().trimmed();
    share::RoomLink parsed;
    text::Message reason;
    showError(
        m_roomLinkError,
        link.isEmpty() || share::parseRoomLink(link.toStdString(), parsed, reason)
            ? QString()
            : QCoreApplication::translate("Zorvane", "不是房间链接：%1").arg(messageText(reason)));
}

QString PreferencesDialog::roomError() const {
    const QString link = m_roomLink->text().trimmed();
    share::RoomLink parsed;
    text::Message reason;
    if (!link.isEmpty() && !share::parseRoomLink(link.toStdString(), parsed, reason)) {
        return QCoreApplication::translate("Zorvane", "不是房间链接：%1").arg(messageText(reason));
    }
    const QByteArray nickname = m_roomNickname->text().trimmed().toUtf8();
    if (nickname.isEmpty() ||
        static_cast<std::size_t>(nickname.size()) > share::kMaxNicknameBytes) {
        return QCoreApplication::translate("Zorvane", "昵称须为 1 到 %1 个字节")
            .arg(share::kMaxNicknameBytes);
    }
    for (const QChar ch : m_roomNickname->text()) {
        if (ch.category() == QChar::Other_Control) {
            return QCoreApplication::translate("Zorvane", "昵称不能含控制字符");
        }
    }
    const QString ca = m_roomCaFile->text().trimmed();
    if (!ca.isEmpty() && !(QFileInfo(ca).isFile() && QFileInfo(ca).isReadable())) {
        return QCoreApplication::translate("Zorvane", "无法读取 CA 证书：%1").arg(ca);
    }
    return {};
}

void PreferencesDialog::addPushPage(PushLink& link) {
    if (m_pushPage != nullptr) {
        return;
    }
    m_pushPage = new PushPage(link, m_tabs);
    // Beside 共享, before 语言.
    m_tabs->insertTab(m_tabs->count() - 1, m_pushPage,
                      QCoreApplication::translate("Zorvane", "推送"));
}

void PreferencesDialog::addShortcutPage(const QString& program, const QString& boss,
                                        const PortalShortcuts* portal) {
    if (m_tabs->findChild<ShortcutPage*>() != nullptr) {
        return;
    }
    // Before 语言.
    m_tabs->insertTab(m_tabs->count() - 1, new ShortcutPage(program, boss, portal, m_tabs),
                      QCoreApplication::translate("Zorvane", "桌面快捷键"));
}

void PreferencesDialog::setSharedRows(const std::vector<std::pair<QString, bool>>& rows) {
    m_rows = rows;
    m_sharedRows->clear();
    const QStringList shared = m_preferences.sharedBosses.get();
    const QStringList unshared = m_preferences.unsharedBosses.get();
    QStringList seen;
    for (const auto& [name, checked] : m_rows) {
        if (name.isEmpty() || seen.contains(name)) {
            continue;
        }
        seen << name;
        const bool isShared = !unshared.contains(name) && (checked || shared.contains(name));
        auto* item = new QListWidgetItem(name, m_sharedRows);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(isShared ? Qt::Checked : Qt::Unchecked);
    }
}

bool PreferencesDialog::applySharedRows() {
    QStringList shared = m_preferences.sharedBosses.get();
    QStringList unshared = m_preferences.unsharedBosses.get();
    for (int i = 0; i < m_sharedRows->count(); ++i) {
        const QListWidgetItem* item = m_sharedRows->item(i);
        const QString name = item->text();
        const bool wanted = item->checkState() == Qt::Checked;
        bool checked = false;
        for (const auto& [rowName, rowChecked] : m_rows) {
            checked |= rowName == name && rowChecked;
        }
        // Only a choice that differs from the row's check box is kept, so a row left as it
        // is keeps following its check box.
        shared.removeAll(name);
        unshared.removeAll(name);
        if (wanted && !checked) {
            shared << name;
        } else if (!wanted && checked) {
            unshared << name;
        }
    }
    bool written = m_preferences.sharedBosses.set(shared);
    written &= m_preferences.unsharedBosses.set(unshared);
    return written;
}

void PreferencesDialog::updateRepeatLimit() {
    m_repeatLimit->setEnabled(m_repeatSeconds->value() > 0);
}

bool PreferencesDialog::apply() {
    const schedule::LeadTimes parsed = schedule::parseLeadTimes(m_leadTimes->text().toStdString());
    if (!parsed.ok()) {
        showError(m_leadTimesError, messageText(parsed.error));
        m_leadTimes->setFocus();
        return false;
    }
    if (const QString error = roomError(); !error.isEmpty()) {
        showError(m_saveError, error);
        return false;
    }
    if (m_pushPage != nullptr) {
        if (QString error; !m_pushPage->apply(&error)) {
            showError(m_saveError, error);
            m_tabs->setCurrentWidget(m_pushPage);
            return false;
        }
    }
    // The list is stored as read ("10, 1"), so the file always holds what the program uses.
    bool written = m_preferences.notificationsEnabled.set(m_notifications->isChecked());
    written &= m_preferences.extraLeadTimes.set(
        QString::fromStdString(schedule::leadTimesText(parsed.minutes)));
    written &= m_preferences.repeatSeconds.set(m_repeatSeconds->value());
    written &= m_preferences.repeatLimitMinutes.set(m_repeatLimit->value());
    written &= m_preferences.volume.set(m_volume->value());
    written &= m_preferences.speechEnabled.set(m_speech->isChecked());
    // The link in its normal form, so the file holds what the program joins.
    QString link = m_roomLink->text().trimmed();
    if (share::RoomLink parsed; !link.isEmpty()) {
        text::Message reason;
        share::parseRoomLink(link.toStdString(), parsed, reason);
        link = QString::fromStdString(share::formatRoomLink(parsed));
    }
    written &= m_preferences.roomLink.set(link);
    written &= m_preferences.roomPassword.set(m_roomPassword->text());
    written &= m_preferences.roomNickname.set(m_roomNickname->text().trimmed());
    written &= m_preferences.roomCaFile.set(m_roomCaFile->text().trimmed());
    written &= applySharedRows();
    written &= m_preferences.language.set(m_language->currentData().toString());
    showError(m_saveError, written ? QString()
                                   : QCoreApplication::translate("Zorvane", "无法写入设置文件：%1")
                                         .arg(m_preferences.store().filePath()));
    return written;
}

} // namespace zorvane::app
