#include "widgets/pushpage.h"

#include "services/coretexts.h"
#include "services/pushlink.h"
#include "text/fileio.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace zorvane::app {
namespace {

enum Column { NameColumn, KindColumn, ScopeColumn, AddressColumn, StatusColumn, ColumnCount };

QString kindTitle(push::TargetKind kind) {
    switch (kind) {
    case push::TargetKind::Discord:
        return QStringLiteral("Discord");
    case push::TargetKind::Ntfy:
        return QStringLiteral("ntfy");
    case push::TargetKind::Json:
        return QStringLiteral("JSON");
    }
    return {};
}

QString scopeTitle(push::TargetScope scope) {
    return scope == push::TargetScope::Room ? QCoreApplication::translate("Zorvane", "房间")
                                            : QCoreApplication::translate("Zorvane", "只有我");
}

QString eventTitle(push::AlertKind kind) {
    switch (kind) {
    case push::AlertKind::LeadTime:
        return QCoreApplication::translate("Zorvane", "提前提醒");
    case push::AlertKind::WindowOpen:
        return QCoreApplication::translate("Zorvane", "窗口开启");
    case push::AlertKind::Spawn:
        return QCoreApplication::translate("Zorvane", "BOSS 刷新");
    case push::AlertKind::Unrecorded:
        return QCoreApplication::translate("Zorvane", "刷新后未记录");
    }
    return {};
}

QString statusText(const push::TargetStatus& status) {
    if (!status.ok && !status.lastError.empty()) {
        return QCoreApplication::translate("Zorvane", "失败：%1")
            .arg(messageText(status.lastError));
    }
    if (status.waiting > 0) {
        return QCoreApplication::translate("Zorvane", "已发送 %1，待发送 %2")
            .arg(status.delivered)
            .arg(status.waiting);
    }
    return QCoreApplication::translate("Zorvane", "已发送 %1").arg(status.delivered);
}

} // namespace

QString shownAddress(const QString& url) {
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty()) {
        return QStringLiteral("…");
    }
    QString shown = parsed.scheme() + QStringLiteral("://") + parsed.host();
    if (parsed.port() >= 0) {
        shown += QLatin1Char(':') + QString::number(parsed.port());
    }
    return shown + QStringLiteral("/…");
}

QString typedAddress(const QString& typed) {
    const QString trimmed = typed.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QStringLiteral("://"))) {
        return trimmed;
    }
    return QStringLiteral("https://") + trimmed;
}

PushPage::PushPage(PushLink& link, QWidget* parent) : QWidget(parent), m_link(link) {
    setObjectName(QStringLiteral("pushPage"));
    const push::PushSettingsRead read = push::readPushSettings(link.settingsFile());
    m_settings = read.settings;

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("pushTargetsTable"));
    m_table->setHorizontalHeaderLabels({QCoreApplication::translate("Zorvane", "名称"),
                                        QCoreApplication::translate("Zorvane", "类型"),
                                        QCoreApplication::translate("Zorvane", "发送给"),
                                        QCoreApplication::translate("Zorvane", "地址"),
                                        QCoreApplication::translate("Zorvane", "状态")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Every column in sight at the preferences' width: the short ones as wide as their
    // texts, the address and the status sharing the rest (cut short, whole in the tip).
    // Five columns of the default width put the status behind a scroll bar.
    QHeaderView* header = m_table->horizontalHeader();
    for (const int column : {NameColumn, KindColumn, ScopeColumn}) {
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    header->setSectionResizeMode(AddressColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(StatusColumn, QHeaderView::Stretch);
    // One line a target: a long address or status is cut short, not broken over lines.
    m_table->setWordWrap(false);

    m_add = new QPushButton(QCoreApplication::translate("Zorvane", "添加"), this);
    m_add->setObjectName(QStringLiteral("pushAddButton"));
    m_remove = new QPushButton(QCoreApplication::translate("Zorvane", "删除"), this);
    m_remove->setObjectName(QStringLiteral("pushRemoveButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);

    m_editor = new QWidget(this);
    auto* form = new QFormLayout(m_editor);
    form->setContentsMargins(0, 0, 0, 0);
    m_name = new QLineEdit(m_editor);
    m_name->setObjectName(QStringLiteral("pushNameEdit"));
    form->addRow(QCoreApplication::translate("Zorvane", "名称："), m_name);
    m_kind = new QComboBox(m_editor);
    m_kind->setObjectName(QStringLiteral("pushKindBox"));
    for (const push::TargetKind kind :
         {push::TargetKind::Discord, push::TargetKind::Ntfy, push::TargetKind::Json}) {
        m_kind->addItem(kindTitle(kind), static_cast<int>(kind));
    }
    form->addRow(QCoreApplication::translate("Zorvane", "类型："), m_kind);
    m_url = new QLineEdit(m_editor);
    m_url->setObjectName(QStringLiteral("pushUrlEdit"));
    m_url->setPlaceholderText(QCoreApplication::translate(
        "Zorvane", "https://discord.com/api/webhooks/… 或 ntfy.sh/主题"));
    form->addRow(QCoreApplication::translate("Zorvane", "地址："), m_url);
    m_scope = new QComboBox(m_editor);
    m_scope->setObjectName(QStringLiteral("pushScopeBox"));
    m_scope->addItem(scopeTitle(push::TargetScope::Player),
                     static_cast<int>(push::TargetScope::Player));
    m_scope->addItem(scopeTitle(push::TargetScope::Room),
                     static_cast<int>(push::TargetScope::Room));
    form->addRow(QCoreApplication::translate("Zorvane", "发送给："), m_scope);
    auto* events = new QHBoxLayout;
    for (const push::AlertKind kind : push::kAlertKinds) {
        auto* box = new QCheckBox(eventTitle(kind), m_editor);
        box->setObjectName(QStringLiteral("pushEvent_") +
                           QString::fromUtf8(push::kindName(kind).data(),
                                             static_cast<qsizetype>(push::kindName(kind).size())));
        events->addWidget(box);
        m_events.push_back(box);
        connect(box, &QCheckBox::toggled, this, &PushPage::takeEdits);
    }
    form->addRow(QCoreApplication::translate("Zorvane", "发送："), events);
    m_enabled = new QCheckBox(QCoreApplication::translate("Zorvane", "启用"), m_editor);
    m_enabled->setObjectName(QStringLiteral("pushEnabledBox"));
    form->addRow(m_enabled);
    m_detail = new QLabel(m_editor);
    m_detail->setObjectName(QStringLiteral("pushDetail"));
    m_detail->setWordWrap(true);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(m_detail);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_editor);
    for (const text::Message& problem : read.problems) {
        auto* label = new QLabel(messageText(problem), this);
        label->setStyleSheet(QStringLiteral("color: #c00000;"));
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    connect(m_name, &QLineEdit::textChanged, this, &PushPage::takeEdits);
    connect(m_url, &QLineEdit::textChanged, this, &PushPage::takeEdits);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &PushPage::takeEdits);
    connect(m_scope, &QComboBox::currentIndexChanged, this, &PushPage::takeEdits);
    connect(m_enabled, &QCheckBox::toggled, this, &PushPage::takeEdits);
    connect(m_add, &QPushButton::clicked, this, &PushPage::addTarget);
    connect(m_remove, &QPushButton::clicked, this, &PushPage::removeTarget);
    connect(m_table, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { select(row); });
    connect(&m_link, &PushLink::statusesChanged, this, &PushPage::showStatuses);

    fillTable();
    // The editor shows the first target, and edits go to the row it shows.
    if (m_settings.targets.empty()) {
        select(-1);
    } else {
        m_table->setCurrentCell(0, NameColumn);
    }
}

void PushPage::fillTable() {
    m_table->setRowCount(static_cast<int>(m_settings.targets.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        fillRow(row);
    }
    showStatuses();
}

void PushPage::fillRow(int row) {
    const push::PushTarget& target = m_settings.targets[static_cast<std::size_t>(row)];
    const QString texts[] = {QString::fromStdString(target.name), kindTitle(target.kind),
                             scopeTitle(target.scope),
                             shownAddress(QString::fromStdString(target.url))};
    for (int column = NameColumn; column <= AddressColumn; ++column) {
        auto* item = m_table->item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            m_table->setItem(row, column, item);
        }
        item->setText(texts[column]);
        item->setToolTip(texts[column]);
        item->setForeground(target.enabled ? palette().text() : palette().placeholderText());
    }
}

void PushPage::showStatuses() {
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const push::PushTarget& target = m_settings.targets[static_cast<std::size_t>(row)];
        const auto it = m_link.statuses().find(target.id);
        QString shown;
        if (!target.enabled) {
            shown = QCoreApplication::translate("Zorvane", "已停用");
        } else if (it != m_link.statuses().end()) {
            shown = statusText(it->second);
        }
        auto* item = m_table->item(row, StatusColumn);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            m_table->setItem(row, StatusColumn, item);
        }
        item->setText(shown);
        item->setToolTip(shown);
        const bool failing = it != m_link.statuses().end() && !it->second.ok;
        item->setForeground(failing ? QBrush(QColor(0xc0, 0, 0)) : palette().text());
    }
    select(m_table->currentRow());
}

void PushPage::select(int row) {
    const bool any = row >= 0 && row < static_cast<int>(m_settings.targets.size());
    m_editor->setEnabled(any);
    m_remove->setEnabled(any);
    m_filling = true;
    if (!any) {
        m_name->clear();
        m_url->clear();
        m_detail->clear();
        for (QCheckBox* box : m_events) {
            box->setChecked(false);
        }
        m_filling = false;
        return;
    }
    const push::PushTarget& target = m_settings.targets[static_cast<std::size_t>(row)];
    if (m_name->text() != QString::fromStdString(target.name)) {
        m_name->setText(QString::fromStdString(target.name));
    }
    if (m_url->text() != QString::fromStdString(target.url)) {
        m_url->setText(QString::fromStdString(target.url));
    }
    m_kind->setCurrentIndex(m_kind->findData(static_cast<int>(target.kind)));
    m_scope->setCurrentIndex(m_scope->findData(static_cast<int>(target.scope)));
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        m_events[i]->setChecked(target.events.contains(push::kAlertKinds[i]));
    }
    m_enabled->setChecked(target.enabled);
    // The whole status: counts, and the last error with its time.
    const auto it = m_link.statuses().find(target.id);
    QString detail;
    if (it != m_link.statuses().end()) {
        const push::TargetStatus& status = it->second;
        detail =
            QCoreApplication::translate("Zorvane", "已发送 %1，失败 %2，过时 %3，由他人转发 %4")
                .arg(status.delivered)
                .arg(status.failed)
                .arg(status.dropped)
                .arg(status.relayed);
        if (!status.lastError.empty()) {
            detail +=
                QLatin1Char('\n') + QCoreApplication::translate("Zorvane", "上次错误（%1）：%2")
                                        .arg(QDateTime::fromSecsSinceEpoch(status.lastErrorUtc)
                                                 .toString(QStringLiteral("MM-dd HH:mm:ss")),
                                             messageText(status.lastError));
        }
    }
    m_detail->setText(detail);
    m_filling = false;
}

void PushPage::takeEdits() {
    const int row = m_table->currentRow();
    if (m_filling || row < 0 || row >= static_cast<int>(m_settings.targets.size())) {
        return;
    }
    push::PushTarget& target = m_settings.targets[static_cast<std::size_t>(row)];
    target.name = m_name->text().trimmed().toStdString();
    target.url = m_url->text().trimmed().toStdString();
    target.kind = static_cast<push::TargetKind>(m_kind->currentData().toInt());
    target.scope = static_cast<push::TargetScope>(m_scope->currentData().toInt());
    push::KindSet events;
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        if (m_events[i]->isChecked()) {
            events.insert(push::kAlertKinds[i]);
        }
    }
    target.events = events;
    target.enabled = m_enabled->isChecked();
    fillRow(row);
}

void PushPage::addTarget() {
    push::PushTarget target;
    target.id = push::newTargetId();
    target.name = QCoreApplication::translate("Zorvane", "新目标").toStdString();
    target.kind = push::TargetKind::Ntfy;
    target.events = push::KindSet::all();
    m_settings.targets.push_back(target);
    fillTable();
    m_table->setCurrentCell(m_table->rowCount() - 1, NameColumn);
    m_url->setFocus();
}

void PushPage::removeTarget() {
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_settings.targets.size())) {
        return;
    }
    m_settings.targets.erase(m_settings.targets.begin() + row);
    fillTable();
    const int next = std::min(row, m_table->rowCount() - 1);
    m_table->setCurrentCell(next, NameColumn);
    select(next);
}

QString PushPage::error() const {
    for (const push::PushTarget& target : m_settings.targets) {
        const QString url = typedAddress(QString::fromStdString(target.url));
        const QUrl parsed(url, QUrl::StrictMode);
        const bool blank = std::any_of(url.begin(), url.end(), [](QChar c) { return c.isSpace(); });
        const bool web = !blank && parsed.isValid() && !parsed.host().isEmpty() &&
                         (parsed.scheme() == QStringLiteral("https") ||
                          parsed.scheme() == QStringLiteral("http"));
        if (!web) {
            return QCoreApplication::translate("Zorvane", "推送目标“%1”的地址不是 http(s) 地址")
                .arg(QString::fromStdString(target.name));
        }
        if (target.events.empty()) {
            return QCoreApplication::translate("Zorvane", "推送目标“%1”没有选择要发送的提醒")
                .arg(QString::fromStdString(target.name));
        }
    }
    return {};
}

bool PushPage::apply(QString* why) {
    if (const QString problem = error(); !problem.isEmpty()) {
        *why = problem;
        return false;
    }
    push::PushSettings settings = m_settings;
    for (push::PushTarget& target : settings.targets) {
        target.url = typedAddress(QString::fromStdString(target.url)).toStdString();
    }
    std::string error;
    // No targets and no file: nothing is written, so the feature stays without a file.
    std::error_code ignored;
    if (settings.targets.empty() && settings.keptAside.empty() &&
        !std::filesystem::exists(m_link.settingsFile(), ignored)) {
        return true;
    }
    if (!push::writePushSettings(m_link.settingsFile(), settings, &error)) {
        *why = QCoreApplication::translate("Zorvane", "无法写入推送设置：%1")
                   .arg(QString::fromStdString(error));
        return false;
    }
    m_settings = settings;
    m_link.reload();
    return true;
}

} // namespace zorvane::app
