#pragma once
// The announcement shown at the bottom of the window: downloaded once per start,
// cut out of the note page that carries it and kept beside the program as "1.htm".

#include "text/message.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvane::net {

inline constexpr std::string_view kAnnouncementFileName = "1.htm";
// A larger download counts as failed.
inline constexpr std::size_t kAnnouncementMaxBytes = 8 * 1024 * 1024;

// The announcement inside a downloaded note page: the UTF-8 body as text, the part
// between the first "【" and the next "】", unescaped, with every backslash-quote pair
// turned into a quote. Empty when the markers are missing.
std::string announcementFromPage(std::string_view body);

// Downloads `url`, writes the announcement to programDir/1.htm in GB18030 (replacing
// the file as a whole; a failed download writes an empty file) and returns the page
// the viewer shows, in UTF-8: the text written or, when the file could not be
// written, what the file already holds. A download cancelled through `cancel`
// leaves the file alone and returns "". `caFile` names extra trusted authorities.
// Nothing is shown to the user either way; `error`, when given, receives why the
// download, the page or the file failed ("" when all went well).
std::string fetchAnnouncement(std::string_view url, const std::string& programDir,
                              const std::atomic<bool>* cancel = nullptr,
                              const std::string& caFile = {}, text::Message* error = nullptr);

} // namespace zorvane::net
