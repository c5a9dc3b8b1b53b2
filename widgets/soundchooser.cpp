#include "widgets/soundchooser.h"

#include "config/configfiles.h"
#include "schedule/services.h"
#include "services/configwriter.h"
#include "services/handoff.h"
#include "text/fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QStringList>

namespace zorvane::app {
namespace {

bool hasWildcard(const QString& piece) {
    return piece.contains(u'*') || piece.contains(u'?');
}

QString patterns(const QString& piece) {
    QStringList list = piece.split(u';', Qt::SkipEmptyParts);
    for (QString& p : list) {
        p = p.trimmed();
    }
    list.removeAll(QString());
    return list.isEmpty() ? QStringLiteral("*") : list.join(u' ');
}

} // namespace

QString showOpenFileDialog(QWidget* owner, const QString& initialDir, const QString& title,
                           const QString& nameFilter) {
    return QFileDialog::getOpenFileName(owner, title, initialDir, nameFilter);
}

QString nameFilterFromList(const QString& filterList) {
    const QStringList pieces = filterList.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i < pieces.size(); i += 2) {
        const QString& description = pieces[i];
        if (i + 1 >= pieces.size()) {
            if (!description.isEmpty()) {
                filters << (hasWildcard(description) ? patterns(description)
                                                     : description + QStringLiteral(" (*)"));
            }
            break;
        }
        const QString pattern = patterns(pieces[i + 1]);
        // "所有文件(*.*)" already names its pattern the way Qt reads it.
        if (description.endsWith(u')') && description.contains(u'(' + pattern + u')')) {
            filters << description;
        } else {
            filters << description + QStringLiteral(" (") + pattern + u')';
        }
    }
    return filters.join(QStringLiteral(";;"));
}

QString openFileDialog(QWidget* owner, const QString& initialDir, const QString& title,
                       const QString& filter, bool keepDirectory, const FileDialog& dialog) {
    const QString remembered = QDir::currentPath();
    const QString caption =
        title.isEmpty() ? QCoreApplication::translate("Zorvane", "打开文件") : title;
    const QString list =
        filter.isEmpty() ? QCoreApplication::translate("Zorvane", "所有文件(*.*)|*.*") : filter;
    const QString path = dialog(owner, initialDir.isEmpty() ? remembered : initialDir, caption,
                                nameFilterFromList(list));
    if (!keepDirectory) {
        QDir::setCurrent(remembered);
    }
    return path;
}

SoundChooser::SoundChooser(QWidget* owner, QLineEdit* soundPathBox, std::string programDir,
                           ConfigWriter& store, QObject* parent)
    : QObject(parent), m_owner(owner), m_soundPathBox(soundPathBox),
      m_programDir(std::move(programDir)), m_store(store) {}

text::Message unplayableSoundMessage(const std::string& file, const text::Message& refusal) {
    return text::Message(text::MessageId::SoundUnplayable, {text::Message::literal(file), refusal});
}

void SoundChooser::onSoundLabelPressed(int, int, Qt::KeyboardModifiers) {
    const QString path = openFileDialog(m_owner, QString::fromStdString(m_programDir), {},
                                        QStringLiteral("*.wav"), false, m_dialog);
    // A cancelled dialog stores "" too: the built-in sound is used again.
    m_store.writeSoundPath(path.toStdString());
    m_soundPathBox->setText(path);
    if (path.isEmpty() || !m_check) {
        return;
    }
    const std::string file = path.toStdString();
    m_check(file, [this, file](const text::Message& refusal) {
        if (refusal.empty()) {
            return;
        }
        // The check answers from its own thread; the box belongs to the window thread.
        handOff(this, [this, file, refusal] {
            if (m_messages) {
                m_messages->showMessage(unplayableSoundMessage(file, refusal));
            }
        });
    });
}

} // namespace zorvane::app
