#pragma once
// The core (schedule/, alarm/, history/) writes its messages and column titles in Chinese
// without Qt. The window shows them through coreText, which gives the chosen language's
// version of every text the core is known to produce and the text itself otherwise.

#include <QString>

#include <string>

namespace zorvane::app {

QString coreText(const std::string& text);

} // namespace zorvane::app
