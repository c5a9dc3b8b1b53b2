#include "periodic/globals.h"
#include "schedule/clock.h"
#include "services/session.h"
#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"
#include "widgets/announcementview.h"
#include "widgets/bossgrid.h"
#include "widgets/mainwindow.h"
#include "widgets/writenotice.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using namespace zorvane;
using zorvane::testing::closedPort;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::RawServer;
using zorvane::testing::TempDir;

namespace {

// A window setup whose announcement runs the helper built with the tests.
app::WindowSetup setupFor(const std::string& url) {
    app::WindowSetup setup{url};
    setup.announcementFetcher = ZORVANE_ANNOUNCEMENT_FETCHER;
    return setup;
}

// The session a window over `dir` runs on.
app::SessionSetup sessionFor(periodic::AppGlobals& globals, const schedule::Clock& clock,
                             const TempDir& dir) {
    return app::SessionSetup::window(globals, clock, dir.path().string());
}

// Shows the window and waits until its download has started, which it does once the
// window has been painted.
bool showUntilDownloadStarts(QWidget& window, periodic::AppGlobals& globals) {
    window.show();
    return QTest::qWaitFor([&globals] { return globals.announcementThread().joinable(); }, 10000);
}

// Processes whose parent is this one, read from /proc.
int childProcesses() {
    int count = 0;
    const std::string parent = "PPid:\t" + std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line == parent) {
                ++count;
            }
        }
    }
    return count;
}

// Watches a FIFO from another thread: whenever something opens it for reading (and so
// blocks in open() until a writer comes), this opens the writing end, which records
// the open and lets the reader go on at once, so a faulty viewer never hangs the test.
class FifoWatch {
public:
    explicit FifoWatch(std::string path) : m_path(std::move(path)) {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_opened = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~FifoWatch() {
        m_stop = true;
        m_thread.join();
    }
    bool opened() const { return m_opened.load(); }

private:
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

// Counts opens of a file through inotify.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          m_watch(inotify_add_watch(m_fd, path.c_str(), IN_OPEN | IN_ACCESS)) {}
    ~OpenWatch() { ::close(m_fd); }
    bool ok() const { return m_fd >= 0 && m_watch >= 0; }
    int events() const {
        alignas(inotify_event) char buffer[4096];
        int count = 0;
        for (ssize_t length; (length = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                ++count;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    }

private:
    int m_fd;
    int m_watch;
};

// Lays out and paints the page the way the window shows it.
QImage rendered(QTextBrowser& viewer, const QString& html) {
    viewer.resize(792, 140);
    viewer.setHtml(html);
    viewer.document()->size();
    return viewer.viewport()->grab().toImage();
}

int pixelsOf(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

QString redPictureDataUrl() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
}

QByteArray fileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Stands in for the system browser.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// How many pixels differ from the top-left one: zero for an empty page.
int inkedPixels(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class AnnouncementViewTest : public QObject {
    Q_OBJECT

private slots:
    void aWindowMadeAfterAnotherClosedFetchesAgain() {
        LocalHttpServer server;
        server.server().Get("/note", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("【again】", "text/html; charset=utf-8");
        });
        server.start();
        const TempDir dir;
        periodic::AppGlobals globals;
        const schedule::SystemClock clock;
        const std::string url = server.base() + "/note";
        {
            app::Session firstSession(sessionFor(globals, clock, dir));
            app::MainWindow first(firstSession, setupFor(url));
            QVERIFY(showUntilDownloadStarts(first, globals));
        }
        app::Session secondSession(sessionFor(globals, clock, dir));
        app::MainWindow second(secondSession, setupFor(url));
        QVERIFY(showUntilDownloadStarts(second, globals));
        QTRY_COMPARE(second.viewer()->toPlainText(), QStringLiteral("again"));
    }

    void windowShowsTheDownloadedPage() {
        LocalHttpServer server;
        server.server().Get("/note", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                "intro 【<h3>News</h3><p>\\u5317\\u4eac \\u516c\\u544a</p>】 outro",
                "text/html; charset=utf-8");
        });
        server.start();
        const TempDir dir;
        periodic::AppGlobals globals;
        const schedule::SystemClock clock;
        app::Session session(sessionFor(globals, clock, dir));
        app::MainWindow window(session, setupFor(server.base() + "/note"));
        // Nothing is fetched before the window is drawn.
        QTest::qWait(50);
        QVERIFY(!globals.announcementThread().joinable());
        QCOMPARE(childProcesses(), 0);
        QVERIFY(showUntilDownloadStarts(window, globals));
        globals.announcementThread().join();

        auto* viewer = qobject_cast<app::AnnouncementViewer*>(window.viewer());
        QVERIFY(viewer);
        QTRY_COMPARE(viewer->toPlainText(), QStringLiteral("News\n北京 公告"));
        QCOMPARE(viewer->fetchError(), QString());
        QCOMPARE(fileBytes((dir.path() / "1.htm").string()),
                 QByteArray("<h3>News</h3><p>\xB1\xB1\xBE\xA9 \xB9\xAB\xB8\xE6</p>"));

        const QImage image = viewer->viewport()->grab().toImage();
        QVERIFY(inkedPixels(image) > 100);
        const QByteArray renderDir = qgetenv("ZORVANE_RENDER_DIR");
        if (!renderDir.isEmpty()) {
            window.grab().save(QString::fromLocal8Bit(renderDir) + "/announcement-window.png");
        }
    }

    void noServerLeavesTheViewerBlank() {
        const TempDir dir;
        {
            QFile old(QString::fromStdString((dir.path() / "1.htm").string()));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("<b>old page</b>");
        }
        periodic::AppGlobals globals;
        const schedule::SystemClock clock;
        const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/note";
        app::Session session(sessionFor(globals, clock, dir));
        app::MainWindow window(session, setupFor(url));
        auto* viewer = qobject_cast<app::AnnouncementViewer*>(window.viewer());
        QSignalSpy finished(viewer, &app::AnnouncementViewer::fetchFinished);
        QVERIFY(showUntilDownloadStarts(window, globals));
        globals.announcementThread().join();
        QTRY_COMPARE(finished.size(), 1);
        // The page stays blank; the reason shows in the notice line.
        QVERIFY2(viewer->fetchError().startsWith(QStringLiteral("下载失败：")),
                 qPrintable(viewer->fetchError()));
        QTRY_VERIFY(window.writeNotice()->isVisible());
        QVERIFY2(
            window.writeNotice()->toolTip().startsWith(QStringLiteral("未能获取公告：下载失败：")),
            qPrintable(window.writeNotice()->toolTip()));
        QCOMPARE(window.viewer()->toPlainText(), QString());
        QCOMPARE(fileBytes((dir.path() / "1.htm").string()), QByteArray());
        QVERIFY(inkedPixels(window.viewer()->viewport()->grab().toImage()) < 10);
    }

    void closingTheWindowCancelsAStalledDownload() {
        RawServer stalling(
            [](const std::string&) {
                return std::string("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n【abc");
            },
            true);
        const TempDir dir;
        periodic::AppGlobals globals;
        const schedule::SystemClock clock;
        QElapsedTimer timer;
        {
            app::Session session(sessionFor(globals, clock, dir));
            app::MainWindow window(session, setupFor(stalling.base() + "/note"));
            window.show();
            QTRY_COMPARE(stalling.requests().size(), std::size_t{1});
            QCOMPARE(childProcesses(), 1);
            timer.start();
        }
        // Well below the 30 s a stalled transfer would otherwise last.
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY(!globals.announcementThread().joinable());
        // The helper was ended and reaped, not left behind.
        QCOMPARE(childProcesses(), 0);
    }

    void aMissingHelperLeavesTheViewerBlankAndSaysWhy() {
        LocalHttpServer server;
        server.server().Get("/note", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("【news】", "text/html; charset=utf-8");
        });
        server.start();
        const TempDir dir;
        periodic::AppGlobals globals;
        const schedule::SystemClock clock;
        app::WindowSetup setup = setupFor(server.base() + "/note");
        setup.announcementFetcher = (dir.path() / "no-such-helper").string();
        app::Session session(sessionFor(globals, clock, dir));
        app::MainWindow window(session, setup);
        auto* viewer = qobject_cast<app::AnnouncementViewer*>(window.viewer());
        QSignalSpy finished(viewer, &app::AnnouncementViewer::fetchFinished);
        QVERIFY(showUntilDownloadStarts(window, globals));
        globals.announcementThread().join();
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY2(viewer->fetchError().startsWith(QStringLiteral("无法启动 ")),
                 qPrintable(viewer->fetchError()));
        QTRY_VERIFY2(
            window.writeNotice()->toolTip().startsWith(QStringLiteral("未能获取公告：无法启动 ")),
            qPrintable(window.writeNotice()->toolTip()));
        QCOMPARE(viewer->toPlainText(), QString());
        QVERIFY(!std::filesystem::exists(dir.path() / "1.htm"));
    }

    // Each page once froze or crashed the window; now the helper hands over a bounded
    // copy and the window lays it out and paints it.
    void hostilePagesAreShownBounded() {
        const auto repeated = [](const std::string& part, int count) {
            std::string result;
            for (int i = 0; i < count; ++i) {
                result += part;
            }
            return result;
        };
        std::string bigTable = "<table>";
        for (int row = 0; row < 700; ++row) {
            bigTable += "<tr>" + repeated("<td>x</td>", 1000) + "</tr>";
        }
        bigTable += "</table>";
        const std::vector<std::pair<const char*, std::string>> pages = {
            {"20,000 nested tables", repeated("<table><tr><td>t", 20000)},
            {"200,000 nested divs", repeated("<div>d", 200000)},
            {"100,000 nested lists", repeated("<ul><li>l", 100000)},
            {"700 x 1000 table", bigTable},
            {"1 MiB word", std::string(1024 * 1024, 'w')},
        };
        int number = 0;
        for (const auto& [name, page] : pages) {
            ++number;
            LocalHttpServer server;
            server.server().Get("/note",
                                [&page](const httplib::Request&, httplib::Response& response) {
                                    response.set_content("【" + page + "】", "text/html");
                                });
            server.start();
            const TempDir dir;
            periodic::AppGlobals globals;
            const schedule::SystemClock clock;
            app::Session session(sessionFor(globals, clock, dir));
            app::MainWindow window(session, setupFor(server.base() + "/note"));
            auto* viewer = qobject_cast<app::AnnouncementViewer*>(window.viewer());
            QSignalSpy finished(viewer, &app::AnnouncementViewer::fetchFinished);
            QVERIFY(showUntilDownloadStarts(window, globals));
            globals.announcementThread().join();
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
            QVERIFY2(viewer->fetchError().isEmpty(), name);
            // 1.htm holds the page as downloaded; only the copy shown is bounded.
            QCOMPARE(fileBytes((dir.path() / "1.htm").string()).size(),
                     static_cast<qsizetype>(page.size()));
            QTextDocument* document = viewer->document();
            QVERIFY2(document->characterCount() <= 70 * 1024, name);
            QVERIFY2(document->blockCount() <= 2100, name);
            const QImage shown = viewer->viewport()->grab().toImage();
            QVERIFY2(inkedPixels(shown) > 0, name);
            const QByteArray renderDir = qgetenv("ZORVANE_RENDER_DIR");
            if (!renderDir.isEmpty()) {
                shown.save(QString::fromLocal8Bit(renderDir) + "/hostile-" +
                           QString::number(number) + ".png");
            }
            // The window still answers.
            const int rows = window.grid()->model()->rowCount();
            window.addButton()->click();
            QCOMPARE(window.grid()->model()->rowCount(), rows + 1);
        }
    }

    // The viewer itself refuses every address it was not given inline, whatever page
    // it is handed: it must not open a local file (not even to find out it is not a
    // picture), and must not block on a FIFO.
    void theViewerOpensNoLocalFile() {
        const TempDir dir;
        const std::string picture = (dir.path() / "p.png").string();
        QImage red(40, 40, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(QString::fromStdString(picture)));
        const std::string fifo = (dir.path() / "fifo").string();
        QVERIFY(::mkfifo(fifo.c_str(), 0600) == 0);
        const QString relative = QString::fromStdString(
            std::filesystem::relative(picture, std::filesystem::current_path()).string());

        QStringList pages;
        for (const QString& target :
             {QString::fromStdString(picture), QString::fromStdString(fifo)}) {
            const QString url = QUrl::fromLocalFile(target).toString();
            pages << QStringLiteral("<img src=\"%1\">").arg(target)
                  << QStringLiteral("<img src=\"%1\">").arg(url)
                  << QStringLiteral("<link rel=\"stylesheet\" href=\"%1\"><p>x</p>").arg(target)
                  << QStringLiteral("<table background=\"%1\"><tr><td>x</td></tr></table>")
                         .arg(target)
                  << QStringLiteral("<p style=\"background-image: url(%1)\">x</p>").arg(url);
        }
        pages << QStringLiteral("<img src=\"%1\">").arg(relative);

        const auto opensOf = [&](QTextBrowser& viewer) {
            const OpenWatch watch(picture);
            const FifoWatch fifoWatch(fifo);
            int redPixels = 0;
            for (const QString& page : pages) {
                redPixels += pixelsOf(rendered(viewer, page), QColor(Qt::red).rgb());
            }
            return std::tuple{watch.ok(), watch.events(), fifoWatch.opened(), redPixels};
        };
        {
            // The checks see what a plain browser does with these pages.
            QTextBrowser plain;
            const auto [watching, opens, fifoOpened, redPixels] = opensOf(plain);
            QVERIFY(watching);
            QVERIFY(opens > 0);
            QVERIFY(fifoOpened);
            QVERIFY(redPixels > 0);
        }
        app::AnnouncementViewer viewer;
        const auto [watching, opens, fifoOpened, redPixels] = opensOf(viewer);
        QVERIFY(watching);
        QCOMPARE(opens, 0);
        QVERIFY(!fifoOpened);
        QCOMPARE(redPixels, 0);
    }

    void inlineAndProgramPicturesAreShown() {
        app::AnnouncementViewer viewer;
        const QImage inlined = rendered(
            viewer, QStringLiteral("<img src=\"%1\" width=40 height=40>").arg(redPictureDataUrl()));
        QVERIFY(pixelsOf(inlined, QColor(Qt::red).rgb()) > 1000);

        QTextDocument* document = viewer.document();
        const QImage note = document
                                ->resource(QTextDocument::ImageResource,
                                           QUrl(QStringLiteral("qrc:/assets/music-note.png")))
                                .value<QImage>();
        QVERIFY(note.width() > 1);
        // Anything else is an empty picture, never an empty answer.
        for (const char* refused : {"qrc:/no/such.png", "http://127.0.0.1:1/x.png", "p.png",
                                    "data:image/png;base64,!!!!", "data:text/plain,hello"}) {
            const QVariant answer = document->resource(QTextDocument::ImageResource,
                                                       QUrl(QString::fromLatin1(refused)));
            QCOMPARE(answer.userType(), QMetaType::QImage);
            QCOMPARE(answer.value<QImage>().size(), QSize(1, 1));
        }
        const QVariant sheet = document->resource(QTextDocument::StyleSheetResource,
                                                  QUrl(QStringLiteral("file:///etc/passwd")));
        QCOMPARE(sheet.userType(), QMetaType::QString);
        QVERIFY(sheet.toString().isEmpty());
    }

    void linksOpenInTheSystemBrowserOnly() {
        LinkCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        app::AnnouncementViewer viewer;
        viewer.resize(400, 120);
        viewer.setHtml(QStringLiteral("<p><a href=\"https://example.invalid/page\">outside</a></p>"
                                      "<p><a href=\"local.htm\">inside</a></p>"));
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));

        const auto clickAt = [&viewer](int position) {
            QTextCursor cursor(viewer.document());
            cursor.setPosition(position);
            const QPoint point = viewer.cursorRect(cursor).center() + QPoint(3, 0);
            QTest::mouseClick(viewer.viewport(), Qt::LeftButton, {}, point);
        };
        clickAt(1);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/page"))});

        // A relative link neither leaves the program nor replaces the page.
        const QTextBlock second = viewer.document()->firstBlock().next();
        clickAt(second.position() + 1);
        QCOMPARE(catcher.opened.size(), 1);
        QVERIFY(viewer.source().isEmpty());
        QVERIFY(viewer.toPlainText().contains(QStringLiteral("outside")));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
};

QTEST_MAIN(AnnouncementViewTest)
#include "test_announcementview.moc"
