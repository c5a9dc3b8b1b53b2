#pragma once
// Start-up time as a user sees it: the moment the window's first full paint is done.
// bench/firstpaint.sh compares it with a bare Qt window; the program records it only
// when the environment names a file (ZORVANE_FIRST_PAINT_FILE), so a normal start
// costs one getenv.

#include <QString>

class QWidget;

namespace zorvane::app {

// After `window`'s first paint has been drawn, appends the wall-clock time in
// nanoseconds since 1970 as one line to `file`. An empty `file` records nothing.
void recordFirstPaint(QWidget& window, const QString& file);

} // namespace zorvane::app
