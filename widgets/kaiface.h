#pragma once
// The Kai face of the window's warning label, its minutes box and its clock.

#include <QFont>
#include <QStringList>

namespace zorvane::app {

// The Kai face at `pixelHeight`: KaiTi where it exists (Windows), the AR PL UKai font
// elsewhere.
QFont kaiFont(int pixelHeight);

// `wanted` from its first family in `installed` on; all of `wanted` when none is there.
// Families compare as Qt's font matching compares them: ignoring case, and a listed
// "Family [Foundry]" counts as Family.
//
// Why: for a family that is not installed, Qt asks fontconfig for that family's fallbacks
// (a sort of every font on the system, once per script) before it tries the next one, and
// a family list of more than one makes it ask for the found face's fallbacks as well. For
// the two Windows names missing here that cost four such sorts, about a tenth of the
// instructions before the window's first paint. The face found is the same, and so are the
// faces that stand in for glyphs it lacks: the names dropped are not installed.
QStringList fromFirstInstalled(const QStringList& wanted, const QStringList& installed);

} // namespace zorvane::app
