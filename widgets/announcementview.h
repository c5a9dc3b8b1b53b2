#pragma once
// The announcement at the bottom of the window: the viewer that shows it and the
// background job that fetches it once per start.

#include <QTextBrowser>

#include <string>

namespace zorvane::periodic {
class AppGlobals;
}

namespace zorvane::app {

// Shows the announcement's HTML. Links open in the system browser. The page can show
// only the pictures it carries inline ("data:") and the program's own resources
// ("qrc:"): every other resource is answered by the viewer itself with an empty
// value of the requested type, so downloaded HTML can neither reach the network nor
// open a local file (not even through Qt's fallback of loading a picture's address
// as a file name, which an empty answer would trigger).
class AnnouncementViewer : public QTextBrowser {
    Q_OBJECT
public:
    explicit AnnouncementViewer(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;

    // Shows a fetched page; `error` says why the fetch failed ("" when it did not). The
    // viewer shows what there is; the window tells the reason (fetchFinished).
    void showFetched(const QString& html, const QString& error);
    QString fetchError() const { return m_fetchError; }

signals:
    void fetchFinished(const QString& error);

private:
    void onLinkClicked(const QUrl& link);

    QString m_fetchError;
};

// Starts the one announcement fetch on its own thread (kept in
// globals.announcementThread(), under globals.announcementSection()). The thread runs
// the download in the helper program `fetcher` (empty: "zorvane-announcement" beside
// the executable), which writes 1.htm and prints the page to show; this keeps the
// network libraries and the page parsing out of the window's process. The page goes
// to `viewer` through a queued call; stopping the workers ends the helper at once.
// Does nothing when the thread has already been started.
void startAnnouncement(periodic::AppGlobals& globals, QTextBrowser* viewer, const std::string& url,
                       const std::string& programDir, const std::string& fetcher = {});

// The helper program's path when none is configured.
QString defaultAnnouncementFetcher();

} // namespace zorvane::app
