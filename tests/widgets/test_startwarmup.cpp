// The start's warm-up thread: whatever the start does with it (a hand-over ends before the
// window exists; a window looks faces up while the thread reads the font database), the
// thread ends when asked and the window thread's text comes out as it does without it.
#include "widgets/kaiface.h"
#include "widgets/startwarmup.h"

#include "tests/support/drawntext.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <memory>

using namespace zorvane;

namespace {

// Both faces the window's first paint uses for Chinese: the Kai face and the fallback of
// the application's font.
QImage drawn(const QFont& font) {
    return testing::drawnText(font, QStringLiteral("北京时间 12:34 首领"), {240, 40});
}

} // namespace

class StartWarmUpTest : public QObject {
    Q_OBJECT

private slots:
    void endsWhateverTheStartDid_data() {
        QTest::addColumn<bool>("toolkitReady");
        QTest::addColumn<bool>("awaitConfiguration");
        QTest::addColumn<bool>("drawMeanwhile");
        QTest::addColumn<bool>("stopTwice");
        QTest::newRow("a hand-over: never told the toolkit is there")
            << false << false << false << false;
        QTest::newRow("a hand-over after the configuration") << false << true << false << false;
        QTest::newRow("a window drawing while the thread reads the font database")
            << true << true << true << false;
        QTest::newRow("a window stopping it at once") << true << false << false << false;
        QTest::newRow("stopped twice") << true << true << false << true;
    }
    void endsWhateverTheStartDid() {
        QFETCH(bool, toolkitReady);
        QFETCH(bool, awaitConfiguration);
        QFETCH(bool, drawMeanwhile);
        QFETCH(bool, stopTwice);
        // A thread that never ends hangs the test past its time limit.
        auto warmUp = std::make_unique<app::StartWarmUp>();
        if (toolkitReady) {
            warmUp->toolkitReady();
        }
        if (awaitConfiguration) {
            warmUp->awaitFontConfiguration();
        }
        if (drawMeanwhile) {
            QCOMPARE(drawn(app::kaiFont(20)), m_expected);
            QCOMPARE(drawn(QApplication::font()), m_expectedDefault);
        }
        warmUp->stop();
        if (stopTwice) {
            warmUp->stop();
        }
        warmUp.reset();
        QCOMPARE(drawn(app::kaiFont(20)), m_expected);
        QCOMPARE(drawn(QApplication::font()), m_expectedDefault);
    }

    void initTestCase() {
        // Drawn once the font database is complete, by the window thread alone.
        app::StartWarmUp warmUp;
        warmUp.stop();
        m_expected = drawn(app::kaiFont(20));
        m_expectedDefault = drawn(QApplication::font());
        // The two faces differ, so each comparison tells which face drew.
        QVERIFY(m_expected != m_expectedDefault);
    }

private:
    QImage m_expected;
    QImage m_expectedDefault;
};

QTEST_MAIN(StartWarmUpTest)
#include "test_startwarmup.moc"
