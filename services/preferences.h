#pragma once
// The user's preferences: typed options kept in their own UTF-8 INI file beside config.ini.
// Each option has one key and one default; reading gives the default when the key is absent
// or holds something unreadable, so a hand-edited file never breaks the program.

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace zorvane::app {

// The preferences file: read and written through QSettings (INI, UTF-8). Readable by its
// owner only, since it will also hold a room password.
class PreferenceStore : public QObject {
    Q_OBJECT
public:
    // Something other than a regular file at `filePath` (a pipe, a device, a directory) is
    // neither opened nor replaced: the options keep their defaults and changes are kept
    // for this run only, and problem() says why.
    explicit PreferenceStore(const QString& filePath, QObject* parent = nullptr);

    QString filePath() const { return m_filePath; }
    // Why the file is not used (in the window's language); empty when it is.
    QString problem() const { return m_problem; }
    // The stored text of a key; an invalid QVariant when absent.
    QVariant value(const QString& key) const { return m_settings.value(key); }
    // Stores and writes the file at once. False when the file could not be written (the
    // value is then still in memory for this run). Emits changed only for a new value.
    [[nodiscard]] bool setValue(const QString& key, const QVariant& value);
    // Removes the key, so the option falls back to its default.
    [[nodiscard]] bool remove(const QString& key);
    // Why the last write failed, in the window's language.
    QString writeError() const;
    // Whether the file holds every value set so far (no write failed since the last that
    // succeeded).
    bool holdsEverything() const { return m_problem.isEmpty() && m_lastWriteOk; }
    // Reads the file again (another process, such as a second start with --room, may
    // have written it) and emits changed for every key whose value differs.
    void reload();

signals:
    void changed(const QString& key);

private:
    bool write();

    QString m_filePath;
    QString m_problem;
    bool m_lastWriteOk = true;
    // Where the options live for this run when the file cannot be used.
    std::unique_ptr<QTemporaryDir> m_standIn;
    QSettings m_settings;
};

// Reads a stored text as T; false when it cannot be read.
bool fromStored(const QVariant& stored, bool& out);
bool fromStored(const QVariant& stored, int& out);
bool fromStored(const QVariant& stored, QString& out);
bool fromStored(const QVariant& stored, QStringList& out);

// One typed option: key, default, and an optional rule that brings a value into range.
template <typename T> class Option {
public:
    using Normalise = std::function<T(const T&)>;

    Option(PreferenceStore& store, QString key, T defaultValue, Normalise normalise = {})
        : m_store(store), m_key(std::move(key)), m_default(std::move(defaultValue)),
          m_normalise(std::move(normalise)) {}

    const QString& key() const { return m_key; }
    const T& defaultValue() const { return m_default; }

    T get() const {
        T value{};
        if (!fromStored(m_store.value(m_key), value)) {
            return m_default;
        }
        return m_normalise ? m_normalise(value) : value;
    }

    // Stores the (normalised) value; false when the file could not be written. A value
    // the option already has is not written again (a start that changes nothing leaves the
    // file as it was).
    [[nodiscard]] bool set(const T& value) {
        const T stored = m_normalise ? m_normalise(value) : value;
        if (stored == get() && m_store.holdsEverything()) {
            return true;
        }
        return m_store.setValue(m_key, QVariant::fromValue(stored));
    }

    // Calls fn with the new value whenever this option changes, while context lives.
    QMetaObject::Connection onChanged(QObject* context, std::function<void(const T&)> fn) const {
        return QObject::connect(&m_store, &PreferenceStore::changed, context,
                                [this, fn = std::move(fn)](const QString& key) {
                                    if (key == m_key) {
                                        fn(get());
                                    }
                                });
    }

private:
    PreferenceStore& m_store;
    QString m_key;
    T m_default;
    Normalise m_normalise;
};

// Every option of the program, over one store.
class Preferences {
public:
    // The file's name, beside config.ini.
    static QString fileName() { return QStringLiteral("preferences.ini"); }

    explicit Preferences(const QString& filePath);

    PreferenceStore& store() { return m_store; }
    const PreferenceStore& store() const { return m_store; }

private:
    PreferenceStore m_store; // before the options, which refer to it

public:
    Option<bool> notificationsEnabled; // desktop notifications for alerts
    Option<int> volume;                // 0..100 percent of the mix
    Option<bool> speechEnabled;        // speak the boss name after the chime
    Option<QString> extraLeadTimes;    // "10, 1": minutes before the next time, besides 编辑框1
    Option<int> repeatSeconds;         // repeat the due chime every N seconds; 0 = once
    Option<int> repeatLimitMinutes;    // stop repeating after this many minutes
    Option<int> gridSortOrder;         // the grid's order: 0 table, 1 time left up, 2 down
    Option<bool> overlayVisible;       // the compact overlay is shown
    Option<bool> overlayClickThrough;  // clicks pass through the overlay
    Option<int> overlayRows;           // how many bosses the overlay lists
    Option<QString> overlayGeometry;   // "x,y,width,height" of the overlay; empty: default
    Option<QString> windowSize;        // "width,height" of the main window; empty: the first size
    Option<bool> windowMaximized;      // the main window was maximised when it closed
    Option<bool> announcementFolded;   // the player folded the announcement pane
    Option<bool> trayNoticeShown;      // told once that closing keeps Zorvane in the tray
    Option<QString> gridFilter;        // the filter box's text
    // The groups folded in the grid ("" for 未分组).
    Option<QStringList> gridFoldedGroups;
    // The bosses with lines unfolded in the grid, by name.
    Option<QStringList> gridExpandedBosses;

    // Sharing kills with a room on an MQTT broker.
    Option<QString> roomLink;           // mqtt://[user@]host[:port]/room; empty: no room
    Option<QString> roomPassword;       // for the link's user; never logged or shown
    Option<QString> roomNickname;       // shown to the other members
    Option<QString> roomCaFile;         // TLS: a PEM file of trusted CAs; empty: the system's
    Option<QStringList> sharedBosses;   // bosses shared although their row is not checked
    Option<QStringList> unsharedBosses; // bosses not shared although their row is checked

    // The window's language: "zh" (the default) or "en"; read once at start.
    Option<QString> language;

    // extraLeadTimes read as minutes, largest first; empty when the stored text is unreadable.
    std::vector<int> extraLeadMinutes() const;
};

inline constexpr int kMaxRepeatSeconds = 600;
inline constexpr int kMaxRepeatLimitMinutes = 120;
inline constexpr int kMaxOverlayRows = 20;

} // namespace zorvane::app
