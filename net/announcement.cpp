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
                              std::string* error) {
    if (error) {
        error->clear();
    }
    const auto report = [error](const std::string& reason) {
        if (error) {
            *error += error->empty() ? reason : "; " + reason;
        }
    };
    HttpOptions options;
    options.maxBodyBytes = kAnnouncementMaxBytes;
    options.cancel = cancel;
    options.caFile = caFile;
    const std::string body = httpRequest(url, options);
    if (cancel && cancel->load()) {
        report("cancelled");
        return {};
    }
    if (!options.error.empty()) {
        report("download failed: " + options.error);
    }
    const std::string page = announcementFromPage(body);
    if (page.empty() && options.error.empty()) {
        report("the page holds no announcement between \"【\" and \"】\"");
    }
    const std::filesystem::path path =
        text::pathFromUtf8(programDir) / std::string(kAnnouncementFileName);
    if (text::replaceFileAtomically(path, text::utf8ToGb18030(page))) {
        return page;
    }
    report("cannot write " + text::utf8FromPath(path));
    // As the viewer would show the file: whatever an earlier start left there.
    return text::gb18030ToUtf8(text::readWholeFile(path).value_or(std::string()));
}

} // namespace zorvane::net
