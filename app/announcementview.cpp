#include "app/announcementview.h"

#include "app/globals.h"
#include "net/announcement.h"

#include <QDesktopServices>

namespace zorvane::app {

AnnouncementViewer::AnnouncementViewer(QWidget* parent) : QTextBrowser(parent) {
    // Following a link inside the viewer would load it as a local document.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &AnnouncementViewer::onLinkClicked);
}

QVariant AnnouncementViewer::loadResource(int type, const QUrl& name) {
    if (name.scheme() == QLatin1String("qrc")) {
        return QTextBrowser::loadResource(type, name);
    }
    // An empty byte array, not a null variant: on a null answer the document would
    // open the path itself, so the page could read any local file (or /dev/zero).
    return QVariant(QByteArray());
}

void AnnouncementViewer::onLinkClicked(const QUrl& link) {
    const QString scheme = link.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(link);
    }
}

void startAnnouncement(AppGlobals& globals, QTextBrowser* viewer, const std::string& url,
                       const std::string& programDir) {
    if (globals.announcementThread().joinable()) {
        return;
    }
    if (!globals.announcementSection()) {
        globals.announcementSection() = createSection(globals.createdSections());
    }
    const Section section = globals.announcementSection();
    const std::atomic<bool>* cancel = &globals.shuttingDown();
    globals.announcementThread() = startThread([section, cancel, viewer, url, programDir](long) {
        enterSection(section);
        const std::string page = net::fetchAnnouncement(url, programDir, cancel);
        if (!cancel->load()) {
            // The viewer belongs to the window thread; only the finished page is posted.
            QMetaObject::invokeMethod(
                viewer, [viewer, html = QString::fromStdString(page)] { viewer->setHtml(html); },
                Qt::QueuedConnection);
        }
        leaveSection(section);
    });
}

} // namespace zorvane::app
