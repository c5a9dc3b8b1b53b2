#include "net/announcement.h"

#include "net/httprequest.h"
#include "net/httptext.h"
#include "text/codec.h"
#include "text/fileio.h"
#include "text/textops.h"
#include "text/unescape.h"

#include <filesystem>

namespace zorvane::net {

std::string announcementFromPage(std::string_view body) {
    const std::string part = textBetween(utf8ToText(body), "【", "】");
    return text::replaceAll(text::unescapeText(part), "\\\"", "\"");
}

std::string fetchAnnouncement(std::string_view url, const std::string& programDir,
                              const std::atomic<bool>* cancel, const std::string& caFile,
                              text::Message* error) {
    if (error) {
        *error = {};
    }
    const auto report = [error](text::Message reason) {
        if (error) {
            *error = error->empty() ? std::move(reason)
                                    : text::Message(text::MessageId::ReasonsJoined,
                                                    {std::move(*error), std::move(reason)});
        }
    };
    HttpOptions options;
    options.maxBodyBytes = kAnnouncementMaxBytes;
    options.cancel = cancel;
    options.caFile = caFile;
    const std::string body = httpRequest(url, options);
    if (cancel && cancel->load()) {
        report(text::Message(text::MessageId::AnnouncementCancelled));
        return {};
    }
    if (!options.error.empty()) {
        report(text::Message(text::MessageId::AnnouncementDownloadFailed, {options.error}));
    }
    const std::string page = announcementFromPage(body);
    if (page.empty() && options.error.empty()) {
        report(text::Message(text::MessageId::AnnouncementNoMarkers));
    }
    const std::filesystem::path path =
        text::pathFromUtf8(programDir) / std::string(kAnnouncementFileName);
    std::string reason;
    if (text::replaceFileAtomically(path, text::utf8ToGb18030(page), &reason)) {
        return page;
    }
    // The file and the system's reason ("…/1.htm: No space left on device").
    report(text::Message(text::MessageId::CannotWrite, {text::Message::literal(reason)}));
    // As the viewer would show the file: whatever an earlier start left there.
    return text::gb18030ToUtf8(text::readWholeFile(path).value_or(std::string()));
}

} // namespace zorvane::net
