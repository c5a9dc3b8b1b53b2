#pragma once
// The words of a post in the player's language. The helper has no translations of its own:
// the window hands it the templates of the messages a post is made of, translated, as its
// second argument; the helper fills them as the Chinese ones are filled.

#include "text/message.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::push {

// A template (%1, %2, ... for the values) by message.
using Templates = std::map<text::MessageId, std::string>;

// The messages a post's title and text are made of.
std::vector<text::MessageId> postedMessages();

// The message filled with the templates given, the Chinese ones where none is given (also
// for its values, which are messages themselves).
std::string wordedWith(const Templates& templates, const text::Message& message);

// The templates as one argument for the helper, and read back: an argument that is not
// such a text, or a message the helper does not know, gives no template (the Chinese
// wording stays).
std::string templatesArgument(const Templates& templates);
Templates readTemplatesArgument(std::string_view argument);

} // namespace zorvane::push
