#pragma once
// The file a font's face is read from, through fontconfig, which Qt uses to find faces on
// Linux. The window uses it to hand back the pages of its Kai face's file once its labels'
// glyphs are drawn and cached (work/residentcode.h).

#include <QFont>

#include <string>

namespace zorvane::app {

// The file of the face Qt draws `font` with; "" when fontconfig is not there or finds no
// face of that family.
std::string fontFileOf(const QFont& font);

} // namespace zorvane::app
