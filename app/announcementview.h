#pragma once
// The announcement at the bottom of the window: the viewer that shows it and the
// background job that fetches it once per start.

#include <QTextBrowser>

#include <string>

namespace zorvane::app {

class AppGlobals;

// Shows the announcement's HTML. Links open in the system browser; the page can
// load nothing besides the program's own resources, so downloaded HTML can neither
// reach the network nor read local files.
class AnnouncementViewer : public QTextBrowser {
    Q_OBJECT
public:
    explicit AnnouncementViewer(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

private:
    void onLinkClicked(const QUrl& link);
};

// Starts the one announcement fetch on its own thread (kept in
// globals.announcementThread(), under globals.announcementSection()). The page goes
// to `viewer` through a queued call; stopping the workers cancels the download.
// Does nothing when the thread has already been started.
void startAnnouncement(AppGlobals& globals, QTextBrowser* viewer, const std::string& url,
                       const std::string& programDir);

} // namespace zorvane::app
