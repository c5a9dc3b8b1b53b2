#include "widgets/firstpaint.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>

namespace {

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QList<QByteArray> linesOf(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

} // namespace

class FirstPaintTest : public QObject {
    Q_OBJECT

private slots:
    // One line, written after the window was shown and painted, never again on later
    // paints; nothing while the window is hidden or when no file is named.
    void recordsTheFirstPaintOnce() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("paint.txt"));
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* label = new QLabel(QStringLiteral("倒计时"), &window);
        layout->addWidget(label);
        QWidget quiet;
        zorvane::app::recordFirstPaint(window, file);
        zorvane::app::recordFirstPaint(quiet, QString());

        QTest::qWait(50);
        QVERIFY2(!QFile::exists(file), "recorded before the window was shown");

        const long long beforeShow = nowNs();
        window.show();
        quiet.show();
        QTRY_COMPARE(linesOf(file).size(), 1);
        const long long afterPaint = nowNs();
        const long long recorded = linesOf(file).front().toLongLong();
        QVERIFY(recorded >= beforeShow);
        QVERIFY(recorded <= afterPaint);

        label->setText(QStringLiteral("00时01分00秒"));
        window.repaint();
        QTest::qWait(50);
        QCOMPARE(linesOf(file).size(), 1);
    }

    // Work for after the first paint runs once the window and its children have painted,
    // and only once; a window destroyed unpainted runs none of it.
    void workWaitsForTheFirstPaintAndRunsOnce() {
        class PaintCounter final : public QLabel {
        public:
            using QLabel::QLabel;
            int paints = 0;

        protected:
            void paintEvent(QPaintEvent* event) override {
                ++paints;
                QLabel::paintEvent(event);
            }
        };
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* child = new PaintCounter(QStringLiteral("倒计时"), &window);
        layout->addWidget(child);
        int runs = 0;
        int childPaintsSeen = -1;
        zorvane::app::afterFirstPaint(window, [&] {
            ++runs;
            childPaintsSeen = child->paints;
        });
        int unpainted = 0;
        {
            QWidget gone;
            zorvane::app::afterFirstPaint(gone, [&unpainted] { ++unpainted; });
        }

        QTest::qWait(50);
        QCOMPARE(runs, 0);
        window.show();
        QTRY_COMPARE(runs, 1);
        QVERIFY(childPaintsSeen >= 1);
        window.repaint();
        QTest::qWait(50);
        QCOMPARE(runs, 1);
        QCOMPARE(unpainted, 0);
    }

    // A file that cannot be written leaves the window working.
    void anUnwritableFileIsNotFatal() {
        QWidget window;
        zorvane::app::recordFirstPaint(window, QStringLiteral("/proc/zorvane-no-such/paint"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(20);
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(FirstPaintTest)
#include "test_firstpaint.moc"
