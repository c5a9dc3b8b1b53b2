#include "services/preferences.h"

#include <QHash>

#include "schedule/leadtimes.h"

#include "services/coretexts.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <filesystem>

namespace zorvane::app {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Tightens an existing file, and with `create` creates it empty and owner-only before
// QSettings first writes it (QSettings keeps the mode of the file it replaces), so the
// password later kept there is never readable by others, not even for the moment between
// creating and restricting the file. A start that changes nothing creates nothing.
void restrictFile(const QString& path, bool create) {
    QFile file(path);
    if (!file.exists()) {
        if (create) {
            file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly);
        }
        return;
    }
    // Qt adds the current user's rights to the owner's, group's and others'; look at those.
    constexpr QFileDevice::Permissions kMode =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if ((file.permissions() & kMode) != kOwnerOnly) {
        file.setPermissions(kOwnerOnly);
    }
}

// Why `path` cannot hold the preferences, or empty: only a regular file (or none) can.
// Looked at without opening it, since opening a pipe waits for a writer.
QString unusableBecause(const QString& path) {
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(text::pathFromUtf8(path.toStdString()), error);
    if (error || status.type() == std::filesystem::file_type::not_found ||
        status.type() == std::filesystem::file_type::regular) {
        return {};
    }
    return QCoreApplication::translate("Zorvane", "%1 不是普通文件，首选项的更改只在本次运行中有效")
        .arg(path);
}

int clampInt(int value, int low, int high) {
    return std::clamp(value, low, high);
}

// A stored value as comparable text; lists element by element.
QString comparable(const QVariant& value) {
    return value.userType() == QMetaType::QStringList ? value.toStringList().join(QChar(0))
                                                      : value.toString();
}

// Who the other members see when no nickname was chosen.
QString defaultNickname() {
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return user.trimmed().isEmpty() ? QStringLiteral("zorvane") : user.trimmed();
}

} // namespace

PreferenceStore::PreferenceStore(const QString& filePath, QObject* parent)
    : QObject(parent), m_filePath(filePath), m_problem(unusableBecause(filePath)),
      m_standIn(m_problem.isEmpty() ? nullptr : std::make_unique<QTemporaryDir>()),
      m_settings(m_standIn ? m_standIn->filePath(QStringLiteral("preferences.ini")) : filePath,
                 QSettings::IniFormat) {
    if (!m_standIn) {
        restrictFile(filePath, false);
    }
}

bool PreferenceStore::setValue(const QString& key, const QVariant& value) {
    const QVariant before = m_settings.value(key);
    m_settings.setValue(key, value);
    const bool written = write();
    if (!before.isValid() || comparable(before) != comparable(value)) {
        emit changed(key);
    }
    return written;
}

bool PreferenceStore::remove(const QString& key) {
    const bool existed = m_settings.contains(key);
    m_settings.remove(key);
    const bool written = write();
    if (existed) {
        emit changed(key);
    }
    return written;
}

void PreferenceStore::reload() {
    QHash<QString, QString> before;
    for (const QString& key : m_settings.allKeys()) {
        before.insert(key, comparable(m_settings.value(key)));
    }
    m_settings.sync();
    QStringList keys = m_settings.allKeys();
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!keys.contains(it.key())) {
            keys << it.key();
        }
    }
    for (const QString& key : keys) {
        const bool wasThere = before.contains(key);
        const bool isThere = m_settings.contains(key);
        if (wasThere != isThere ||
            (isThere && before.value(key) != comparable(m_settings.value(key)))) {
            emit changed(key);
        }
    }
}

QString PreferenceStore::writeError() const {
    if (!m_problem.isEmpty()) {
        return m_problem;
    }
    return messageText(text::Message(text::MessageId::CannotWrite,
                                     {text::Message::literal(m_filePath.toStdString())}));
}

bool PreferenceStore::write() {
    if (m_standIn) {
        m_settings.sync();
        return false;
    }
    // QSettings must not create the file itself.
    restrictFile(m_filePath, true);
    m_settings.sync();
    m_lastWriteOk = m_settings.status() == QSettings::NoError;
    // QSettings replaces the file through a temporary one; keep it owner-only afterwards too.
    restrictFile(m_filePath, false);
    return m_settings.status() == QSettings::NoError;
}

bool fromStored(const QVariant& stored, bool& out) {
    if (!stored.isValid()) {
        return false;
    }
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) {
        out = true;
        return true;
    }
    if (text == QLatin1String("false") || text == QLatin1String("0")) {
        out = false;
        return true;
    }
    return false;
}

bool fromStored(const QVariant& stored, int& out) {
    if (!stored.isValid()) {
        return false;
    }
    bool ok = false;
    const int value = stored.toString().trimmed().toInt(&ok);
    if (ok) {
        out = value;
    }
    return ok;
}

bool fromStored(const QVariant& stored, QString& out) {
    if (!stored.isValid()) {
        return false;
    }
    // An unquoted hand-typed "10, 1" comes back from QSettings as a list of its pieces.
    out = stored.userType() == QMetaType::QStringList
              ? stored.toStringList().join(QStringLiteral(", "))
              : stored.toString();
    return true;
}

bool fromStored(const QVariant& stored, QStringList& out) {
    if (!stored.isValid()) {
        return false;
    }
    // A list of one element comes back from the INI file as a plain text.
    if (stored.userType() == QMetaType::QStringList) {
        out = stored.toStringList();
    } else if (const QString text = stored.toString(); !text.isEmpty()) {
        out = QStringList{text};
    } else {
        out.clear();
    }
    return true;
}

Preferences::Preferences(const QString& filePath)
    : m_store(filePath),
      notificationsEnabled(m_store, QStringLiteral("alerts/notifications"), true),
      volume(m_store, QStringLiteral("sound/volume"), 100,
             [](const int& v) { return clampInt(v, 0, 100); }),
      speechEnabled(m_store, QStringLiteral("sound/speech"), false),
      extraLeadTimes(m_store, QStringLiteral("alerts/extraLeadTimes"), QString()),
      repeatSeconds(m_store, QStringLiteral("alerts/repeatSeconds"), 0,
                    [](const int& v) { return clampInt(v, 0, kMaxRepeatSeconds); }),
      repeatLimitMinutes(m_store, QStringLiteral("alerts/repeatLimitMinutes"), 5,
                         [](const int& v) { return clampInt(v, 1, kMaxRepeatLimitMinutes); }),
      gridSortOrder(m_store, QStringLiteral("grid/sortOrder"), 0,
                    [](const int& v) { return v >= 0 && v <= 2 ? v : 0; }),
      overlayVisible(m_store, QStringLiteral("overlay/visible"), false),
      overlayClickThrough(m_store, QStringLiteral("overlay/clickThrough"), false),
      overlayRows(m_store, QStringLiteral("overlay/rows"), 5,
                  [](const int& v) { return clampInt(v, 1, kMaxOverlayRows); }),
      overlayGeometry(m_store, QStringLiteral("overlay/geometry"), QString()),
      windowSize(m_store, QStringLiteral("window/size"), QString()),
      windowMaximized(m_store, QStringLiteral("window/maximized"), false),
      announcementFolded(m_store, QStringLiteral("window/announcementFolded"), false),
      trayNoticeShown(m_store, QStringLiteral("window/trayNoticeShown"), false),
      gridFilter(m_store, QStringLiteral("grid/filter"), QString()),
      gridFoldedGroups(m_store, QStringLiteral("grid/foldedGroups"), QStringList()),
      gridExpandedBosses(m_store, QStringLiteral("grid/expandedBosses"), QStringList()),
      roomLink(m_store, QStringLiteral("room/link"), QString()),
      roomPassword(m_store, QStringLiteral("room/password"), QString()),
      roomNickname(m_store, QStringLiteral("room/nickname"), defaultNickname()),
      roomCaFile(m_store, QStringLiteral("room/caFile"), QString()),
      sharedBosses(m_store, QStringLiteral("room/sharedBosses"), QStringList()),
      unsharedBosses(m_store, QStringLiteral("room/unsharedBosses"), QStringList()),
      language(m_store, QStringLiteral("ui/language"), QStringLiteral("zh"), [](const QString& v) {
          return v == QLatin1String("en") ? v : QStringLiteral("zh");
      }) {}

std::vector<int> Preferences::extraLeadMinutes() const {
    return schedule::parseLeadTimes(extraLeadTimes.get().toStdString()).minutes;
}

} // namespace zorvane::app
