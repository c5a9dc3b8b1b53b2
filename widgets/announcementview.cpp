#include "widgets/announcementview.h"

#include "periodic/globals.h"
#include "services/coretexts.h"
#include "services/handoff.h"
#include "services/programdir.h"
#include "work/helperprocess.h"
#include "work/worker.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <optional>

namespace zorvane::app {
namespace {

// How often the waiting thread looks at the cancel flag.
constexpr int kCancelPollMs = 20;
// More output than the helper's bounded page can be is not read.
constexpr std::size_t kMaxPageBytes = 16 * 1024 * 1024;
constexpr qsizetype kMaxErrorChars = 1000;
// Largest inline picture, encoded and decoded.
constexpr qsizetype kMaxPictureBytes = 512 * 1024;
constexpr int kMaxPictureSide = 2048;

// A picture the page carries itself or one of the program's resources; a null image
// for anything else or anything too large.
QImage embeddedPicture(const QUrl& name) {
    QByteArray bytes;
    const QString scheme = name.scheme().toLower();
    if (scheme == QLatin1String("qrc")) {
        // Only the resource system is asked: a ":" path never reaches the file system.
        QImageReader reader(QLatin1Char(':') + name.path());
        const QSize size = reader.size();
        if (size.isValid() && size.width() <= kMaxPictureSide && size.height() <= kMaxPictureSide) {
            return reader.read();
        }
        return {};
    }
    if (scheme != QLatin1String("data")) {
        return {};
    }
    const QString path = name.path(QUrl::FullyEncoded);
    const qsizetype comma = path.indexOf(QLatin1Char(','));
    if (path.size() > kMaxPictureBytes * 2 || comma < 0 ||
        !path.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        return {};
    }
    bytes = QByteArray::fromBase64(path.mid(comma + 1).toLatin1());
    if (bytes.size() > kMaxPictureBytes) {
        return {};
    }
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) {
        return {};
    }
    return reader.read();
}

struct FetchOutcome {
    QString page;
    QString error;
};

// Runs the helper and waits for it, ending it as soon as `cancel` becomes true.
FetchOutcome runFetcher(const QString& program, const std::string& url,
                        const std::string& programDir, const std::atomic<bool>& cancel) {
    const work::HelperOutcome helper = work::runHelper(program.toStdString(), {url, programDir},
                                                       cancel, kMaxPageBytes, kCancelPollMs);
    FetchOutcome outcome;
    switch (helper.end) {
    case work::HelperOutcome::End::NotStarted:
        outcome.error = QCoreApplication::translate("Zorvane", "无法启动 %1：%2")
                            .arg(program, QString::fromLocal8Bit(helper.why.c_str()));
        break;
    case work::HelperOutcome::End::Cancelled:
        outcome.error = messageText(text::Message(text::MessageId::AnnouncementCancelled));
        break;
    case work::HelperOutcome::End::TooMuchOutput:
        outcome.error =
            QCoreApplication::translate("Zorvane", "页面大于 %1 字节").arg(kMaxPageBytes);
        break;
    case work::HelperOutcome::End::Crashed:
        outcome.error = QCoreApplication::translate("Zorvane", "公告助手程序崩溃了");
        break;
    case work::HelperOutcome::End::Exited:
        outcome.page = QString::fromStdString(helper.out);
        if (helper.exitCode != 0) {
            // The helper tells why as a message; anything else is shown as it came.
            const QString said = QString::fromUtf8(helper.err).trimmed();
            const std::optional<text::Message> message = text::readMessage(said.toStdString());
            outcome.error = (message ? messageText(*message) : said).left(kMaxErrorChars);
            if (outcome.error.isEmpty()) {
                outcome.error = QCoreApplication::translate("Zorvane", "公告助手程序以 %1 结束")
                                    .arg(helper.exitCode);
            }
        }
        break;
    }
    return outcome;
}

} // namespace

AnnouncementViewer::AnnouncementViewer(QWidget* parent) : QTextBrowser(parent) {
    // Following a link inside the viewer would load it as a local document.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &AnnouncementViewer::onLinkClicked);
}

QVariant AnnouncementViewer::loadResource(int type, const QUrl& name) {
    // The base implementation is never called: it reads local files. Every answer is
    // a valid value of the requested type, because on an empty answer the document
    // would try the address itself as a file name.
    if (type == QTextDocument::ImageResource) {
        QImage picture = embeddedPicture(name);
        if (picture.isNull()) {
            picture = QImage(1, 1, QImage::Format_ARGB32);
            picture.fill(Qt::transparent);
        }
        return picture;
    }
    return QString(QLatin1String(""));
}

void AnnouncementViewer::showFetched(const QString& html, const QString& error) {
    setHtml(html);
    m_fetchError = error;
    emit fetchFinished(error);
}

void AnnouncementViewer::onLinkClicked(const QUrl& link) {
    const QString scheme = link.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(link);
    }
}

QString defaultAnnouncementFetcher() {
    return helperProgramPath(QStringLiteral("zorvane-announcement"));
}

void startAnnouncement(periodic::AppGlobals& globals, QTextBrowser* viewer, const std::string& url,
                       const std::string& programDir, const std::string& fetcher) {
    if (globals.announcementThread().joinable()) {
        return;
    }
    if (!globals.announcementSection()) {
        globals.announcementSection() = periodic::createSection(globals.createdSections());
    }
    const periodic::Section section = globals.announcementSection();
    const std::atomic<bool>* cancel = &globals.shuttingDown();
    const QString program =
        fetcher.empty() ? defaultAnnouncementFetcher() : QString::fromStdString(fetcher);
    globals.announcementThread() =
        periodic::startThread([section, cancel, viewer, url, programDir, program](long) {
            work::nameThisThread("announcement");
            periodic::enterSection(section);
            const FetchOutcome outcome = runFetcher(program, url, programDir, *cancel);
            if (!cancel->load()) {
                // The viewer belongs to the window thread; only the outcome is handed over.
                handOff(viewer, [viewer, outcome] {
                    if (auto* announcement = qobject_cast<AnnouncementViewer*>(viewer)) {
                        announcement->showFetched(outcome.page, outcome.error);
                    } else {
                        viewer->setHtml(outcome.page);
                    }
                });
            }
            periodic::leaveSection(section);
        });
}

} // namespace zorvane::app
