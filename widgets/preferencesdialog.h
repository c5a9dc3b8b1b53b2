#pragma once
// The preferences dialog: edits the options of Preferences; 确定 stores them all, 取消 none.

#include <QDialog>

#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace zorvane::app {

class Preferences;
class PortalShortcuts;
class PushLink;
class PushPage;

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(Preferences& preferences, QWidget* parent = nullptr);

    // Stores every field; false (and the reason shown in the dialog) when a field is refused
    // or the file cannot be written. Called by 确定, which closes the dialog only on success.
    bool apply();

    // The table's rows for the 共享 page: each boss name with whether its row is checked
    // (checked rows are shared unless the user chose otherwise).
    void setSharedRows(const std::vector<std::pair<QString, bool>>& rows);

    // Adds the 推送 page over the session's push link (which must outlive the dialog).
    void addPushPage(PushLink& link);
    // 桌面快捷键: the commands for desktop shortcuts, for `program` with `boss` as the example,
    // and what became of the global keys through the portal (none asked: nullptr).
    void addShortcutPage(const QString& program, const QString& boss,
                         const PortalShortcuts* portal = nullptr);
    PushPage* pushPage() const { return m_pushPage; }

private:
    void load();
    void checkLeadTimes();
    void updateRepeatLimit();
    void checkRoomLink();
    // Why the room fields cannot be stored; empty when they can.
    QString roomError() const;
    bool applySharedRows();

    Preferences& m_preferences;
    QCheckBox* m_notifications;
    QLineEdit* m_leadTimes;
    QLabel* m_leadTimesError;
    QSpinBox* m_repeatSeconds;
    QSpinBox* m_repeatLimit;
    QSlider* m_volumeSlider;
    QSpinBox* m_volume;
    QCheckBox* m_speech;
    QLineEdit* m_roomLink;
    QLabel* m_roomLinkError;
    QLineEdit* m_roomPassword;
    QLineEdit* m_roomNickname;
    QLineEdit* m_roomCaFile;
    QListWidget* m_sharedRows;
    // Each row's checked state, by boss name, as given to setSharedRows.
    std::vector<std::pair<QString, bool>> m_rows;
    QComboBox* m_language;
    QTabWidget* m_tabs;
    PushPage* m_pushPage = nullptr;
    QLabel* m_saveError;
    QDialogButtonBox* m_buttons;
};

} // namespace zorvane::app
