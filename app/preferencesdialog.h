#pragma once
// The preferences dialog: edits the options of Preferences; 确定 stores them all, 取消 none.

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace zorvane::app {

class Preferences;

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(Preferences& preferences, QWidget* parent = nullptr);

    // Stores every field; false (and the reason shown in the dialog) when a field is refused
    // or the file cannot be written. Called by 确定, which closes the dialog only on success.
    bool apply();

private:
    void load();
    void checkLeadTimes();
    void updateRepeatLimit();

    Preferences& m_preferences;
    QCheckBox* m_notifications;
    QLineEdit* m_leadTimes;
    QLabel* m_leadTimesError;
    QSpinBox* m_repeatSeconds;
    QSpinBox* m_repeatLimit;
    QSlider* m_volumeSlider;
    QSpinBox* m_volume;
    QCheckBox* m_speech;
    QLabel* m_saveError;
    QDialogButtonBox* m_buttons;
};

} // namespace zorvane::app
