#pragma once
// The id under which desktops know the program. The desktop entry, the icons and the
// AppStream file are installed under it (CMake reads it from this line), and the
// windows carry it, so the menu entry, the task bar and notifications belong together.

namespace zorvane::app {

inline constexpr char kDesktopId[] = "io.github.zorvane.Zorvane";

} // namespace zorvane::app
