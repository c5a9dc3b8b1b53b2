#pragma once
// The core (schedule/, alarm/, history/ and the rest) gives its texts as text::Message: an
// identifier and values. messageText shows one in the chosen language; the Chinese
// wording of every identifier is the source text of its translation.

#include "text/message.h"

#include <QString>

#include <string>

namespace zorvane::app {

// The message in the chosen language, its values filled in (each a message itself).
QString messageText(const text::Message& message);

// The source text the window translates for an identifier (its Chinese wording with %1,
// %2, ...); nullptr for None and Literal.
const char* messageSource(text::MessageId id);

// Whether the window shows the core's texts in another language than their Chinese
// wording (a translation is installed).
bool showsTranslatedCoreTexts();

// The column titles of the table, which the core keeps in Chinese as file data.
QString columnTitle(const std::string& title);

} // namespace zorvane::app
