#include "widgets/kaiface.h"

#include <QFontDatabase>

#include <algorithm>

namespace zorvane::app {

namespace {

QStringView withoutFoundry(const QString& family) {
    const qsizetype bracket = family.indexOf(QLatin1String(" ["));
    return bracket < 0 || !family.endsWith(QLatin1Char(']')) ? QStringView(family)
                                                             : QStringView(family).left(bracket);
}

} // namespace

QStringList fromFirstInstalled(const QStringList& wanted, const QStringList& installed) {
    const auto isInstalled = [&installed](const QString& family) {
        return std::any_of(installed.begin(), installed.end(), [&family](const QString& name) {
            return withoutFoundry(name).compare(family, Qt::CaseInsensitive) == 0;
        });
    };
    const auto first = std::find_if(wanted.begin(), wanted.end(), isInstalled);
    return first == wanted.end() ? wanted : QStringList(first, wanted.end());
}

QFont kaiFont(int pixelHeight) {
    QFont font;
    font.setFamilies(fromFirstInstalled(
        {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN")},
        QFontDatabase::families()));
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
#ifndef Q_OS_WIN
    // Hinting this face makes FreeType's auto-hinter sample dozens of glyphs across the
    // 17 MB file (about 4 MB resident for three labels); unhinted, only the drawn glyphs
    // are read (about 1 MB), and at these sizes the brush strokes look the same. Windows
    // keeps its default, which a hinting request would move to another renderer.
    font.setHintingPreference(QFont::PreferNoHinting);
#endif
    return font;
}

} // namespace zorvane::app
