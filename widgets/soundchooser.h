#pragma once
// Choosing the alarm sound: "设置" beside the sound path box opens a file dialog;
// the chosen path (or "" when cancelled, which means the built-in sound) is stored
// in confing.ini and shown in the box.

#include "text/message.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLineEdit;
class QWidget;

namespace zorvane::schedule {
class MessageSink;
} // namespace zorvane::schedule

namespace zorvane::app {

class ConfigWriter;

// Shows a modal open-file dialog and returns the chosen file's full path, "" when
// the user cancels. Arguments: owner, initial directory, title, Qt name filter.
using FileDialog = std::function<QString(QWidget* owner, const QString& initialDir,
                                         const QString& title, const QString& nameFilter)>;

// The real dialog: QFileDialog::getOpenFileName.
QString showOpenFileDialog(QWidget* owner, const QString& initialDir, const QString& title,
                           const QString& nameFilter);

// A filter list "description|pattern|description|pattern..." as a Qt name filter.
// A lone last piece that holds a wildcard is a pattern ("*.wav" filters WAV files);
// a lone description without one matches every file. ";" between patterns is allowed.
QString nameFilterFromList(const QString& filterList);

// Asks for a file to open. An empty title becomes "打开文件", an empty filter
// "所有文件(*.*)|*.*", an empty initial directory the current one. The process's current
// directory is put back afterwards unless keepDirectory is set, whatever the dialog did.
QString openFileDialog(QWidget* owner, const QString& initialDir = {}, const QString& title = {},
                       const QString& filter = {}, bool keepDirectory = false,
                       const FileDialog& dialog = showOpenFileDialog);

// Checks a chosen sound file in the background and calls `done` (on any thread) with
// "" when it can be played, otherwise with the reason it cannot.
using SoundCheck = std::function<void(const std::string& file,
                                      std::function<void(const text::Message& refusal)> done)>;

// The message told when a chosen sound file cannot be played.
text::Message unplayableSoundMessage(const std::string& file, const text::Message& refusal);

// The "设置" label's press handler, bound to the sound path box and the program directory;
// the choice is stored through `store`, which must outlive the chooser's handler calls.
// A chosen file that cannot be played is kept (the built-in sound plays in its place)
// and the user is told why.
class SoundChooser : public QObject {
    Q_OBJECT
public:
    SoundChooser(QWidget* owner, QLineEdit* soundPathBox, std::string programDir,
                 ConfigWriter& store, QObject* parent = nullptr);

    // Tests answer the modal dialog themselves.
    void setFileDialog(FileDialog dialog) { m_dialog = std::move(dialog); }
    // Without a check nothing is checked; without a sink nothing is told.
    void setSoundCheck(SoundCheck check) { m_check = std::move(check); }
    void setMessageSink(schedule::MessageSink* messages) { m_messages = messages; }

    // Left button pressed on the label; the position and keys do not matter.
    void onSoundLabelPressed(int x, int y, Qt::KeyboardModifiers modifiers);

private:
    QWidget* m_owner;
    QLineEdit* m_soundPathBox;
    std::string m_programDir;
    ConfigWriter& m_store;
    FileDialog m_dialog = showOpenFileDialog;
    SoundCheck m_check;
    schedule::MessageSink* m_messages = nullptr;
};

} // namespace zorvane::app
