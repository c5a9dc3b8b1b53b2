#pragma once
// The window's language. The texts in the code are Chinese; English comes from a
// translation built into the program. Qt's own dialogs and buttons follow the same choice.

#include <QString>
#include <QStringList>

namespace zorvane::app {

// Installs the translators for language ("zh" or "en") on the running application; they
// live as long as it does. Returns what could not be loaded (empty when all was), so the
// caller can tell the user; the window then shows the untranslated texts.
QStringList installTranslators(const QString& language);

// The language the window's texts were installed in ("zh" until installTranslators was
// called with "en"): what the running window speaks and shows.
QString windowLanguage();

} // namespace zorvane::app
