#include "app/announcementview.h"
#include "app/globals.h"
#include "app/mainwindow.h"
#include "schedule/clock.h"
#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>

#include <memory>

using namespace zorvane;
using zorvane::testing::closedPort;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::RawServer;
using zorvane::testing::TempDir;

namespace {

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
        app::AppGlobals globals;
        const schedule::SystemClock clock;
        const std::string url = server.base() + "/note";
        { app::MainWindow first({globals, clock, dir.path().string(), url}); }
        app::MainWindow second({globals, clock, dir.path().string(), url});
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
        app::AppGlobals globals;
        const schedule::SystemClock clock;
        app::MainWindow window({globals, clock, dir.path().string(), server.base() + "/note"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(globals.announcementThread().joinable());
        globals.announcementThread().join();

        QTextBrowser* viewer = window.viewer();
        QTRY_COMPARE(viewer->toPlainText(), QStringLiteral("News\n北京 公告"));
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
        app::AppGlobals globals;
        const schedule::SystemClock clock;
        const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/note";
        app::MainWindow window({globals, clock, dir.path().string(), url});
        window.show();
        globals.announcementThread().join();
        QTest::qWait(50);
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
        app::AppGlobals globals;
        const schedule::SystemClock clock;
        QElapsedTimer timer;
        {
            app::MainWindow window(
                {globals, clock, dir.path().string(), stalling.base() + "/note"});
            window.show();
            QTRY_COMPARE(stalling.requests().size(), std::size_t{1});
            timer.start();
        }
        // Well below the 30 s a stalled transfer would otherwise last.
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY(!globals.announcementThread().joinable());
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

    void onlyProgramResourcesAreLoaded() {
        const TempDir dir;
        const QString picture = QString::fromStdString((dir.path() / "p.png").string());
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(picture));

        QTextBrowser plain;
        QVERIFY(plain.loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(picture))
                    .isValid());
        // Resources are asked for through the document, as a page's <img> asks for them.
        app::AnnouncementViewer viewer;
        viewer.setHtml(
            QStringLiteral("<img src=\"%1\">").arg(QUrl::fromLocalFile(picture).toString()));
        QTextDocument* document = viewer.document();
        QVERIFY(document->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(picture))
                    .toByteArray()
                    .isEmpty());
        QVERIFY(document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("p.png")))
                    .toByteArray()
                    .isEmpty());
        QVERIFY(document
                    ->resource(QTextDocument::ImageResource,
                               QUrl(QStringLiteral("http://127.0.0.1:1/x.png")))
                    .toByteArray()
                    .isEmpty());
        QVERIFY(!document
                     ->resource(QTextDocument::ImageResource,
                                QUrl(QStringLiteral("qrc:/assets/music-note.png")))
                     .isNull());
    }
};

QTEST_MAIN(AnnouncementViewTest)
#include "test_announcementview.moc"
