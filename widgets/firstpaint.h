#pragma once
// Start-up time as a user sees it: the moment the window's first full paint is done.
//
// Work the first picture does not need (the announcement download) waits for that
// moment, so the window appears without it. bench/firstpaint.sh compares the moment with
// a bare Qt window; the program records it only when the environment names a file
// (ZORVANE_FIRST_PAINT_FILE), so a normal start costs one getenv.

#include <QString>

#include <functional>

class QWidget;

namespace zorvane::app {

// Runs `work` once on the window thread, after `window`'s first paint has been drawn
// (the paint of its children and the flush included). Nothing runs while the window is
// never painted, or when it is destroyed first.
void afterFirstPaint(QWidget& window, std::function<void()> work);

// After `window`'s first paint has been drawn, appends the wall-clock time in
// nanoseconds since 1970 as one line to `file`. An empty `file` records nothing.
void recordFirstPaint(QWidget& window, const QString& file);

} // namespace zorvane::app
