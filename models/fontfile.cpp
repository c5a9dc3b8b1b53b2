#include "models/fontfile.h"

#include <QFontInfo>

#ifdef ZORVANE_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace zorvane::app {

std::string fontFileOf(const QFont& font) {
#ifdef ZORVANE_HAS_FONTCONFIG
    // The family Qt settled on among the font's families (it may have fallen back).
    const QByteArray family = QFontInfo(font).family().toUtf8();
    if (family.isEmpty()) {
        return {};
    }
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return {};
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return {};
    }
    // fontconfig always answers with some face: only one of the family counts.
    std::string file;
    bool sameFamily = false;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
        sameFamily =
            sameFamily || QString::fromUtf8(reinterpret_cast<const char*>(value))
                                  .compare(QString::fromUtf8(family), Qt::CaseInsensitive) == 0;
    }
    if (sameFamily && FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch) {
        file = reinterpret_cast<const char*>(value);
    }
    FcPatternDestroy(match);
    return file;
#else
    (void)font;
    return {};
#endif
}

} // namespace zorvane::app
