// Handing work to the window thread: where and when it runs, and that a call whose
// receiver is gone is dropped with everything it captured.

#include "services/handoff.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <memory>
#include <thread>

using namespace zorvane;

namespace {

// Calls the named helper, on this thread or from a worker thread that has ended when
// this returns.
template <typename Fn>
void deliver(const QString& helper, bool fromWorker, QObject* receiver, Fn fn) {
    const auto call = [&] {
        if (helper == QStringLiteral("handOff")) {
            app::handOff(receiver, fn);
        } else {
            app::runOnReceiverThread(receiver, fn);
        }
    };
    if (fromWorker) {
        std::thread worker(call);
        worker.join();
    } else {
        call();
    }
}

} // namespace

class HandOffTest : public QObject {
    Q_OBJECT

private slots:
    void runsOnceOnTheReceiversThread_data() {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("handOff on the window thread") << "handOff" << false << false;
        QTest::newRow("handOff from a worker") << "handOff" << true << false;
        QTest::newRow("runOnReceiverThread on the window thread")
            << "runOnReceiverThread" << false << true;
        QTest::newRow("runOnReceiverThread from a worker")
            << "runOnReceiverThread" << true << false;
    }

    void runsOnceOnTheReceiversThread() {
        QFETCH(QString, helper);
        QFETCH(bool, fromWorker);
        QFETCH(bool, atOnce);
        QObject receiver;
        int runs = 0;
        QThread* ranOn = nullptr;
        deliver(helper, fromWorker, &receiver, [&] {
            ++runs;
            ranOn = QThread::currentThread();
        });
        QCOMPARE(runs, atOnce ? 1 : 0);
        QTRY_COMPARE(runs, 1);
        QCOMPARE(ranOn, receiver.thread());
        QCoreApplication::processEvents();
        QCOMPARE(runs, 1);
    }

    void aCallWhoseReceiverIsDestroyedFirstIsDropped_data() {
        QTest::addColumn<QString>("helper");
        QTest::addColumn<bool>("fromWorker");
        QTest::newRow("handOff on the window thread") << "handOff" << false;
        QTest::newRow("handOff from a worker") << "handOff" << true;
        QTest::newRow("runOnReceiverThread from a worker") << "runOnReceiverThread" << true;
    }

    void aCallWhoseReceiverIsDestroyedFirstIsDropped() {
        QFETCH(QString, helper);
        QFETCH(bool, fromWorker);
        auto captured = std::make_shared<int>(0);
        bool ran = false;
        auto* receiver = new QObject;
        // Running late would write into the destroyed receiver.
        deliver(helper, fromWorker, receiver, [captured, &ran, receiver] {
            ran = true;
            receiver->setObjectName(QStringLiteral("late"));
        });
        QCOMPARE(captured.use_count(), 2);
        delete receiver;
        // The pending call went with the receiver, and with it what it captured.
        QCOMPARE(captured.use_count(), 1);
        QCoreApplication::processEvents();
        QTest::qWait(20);
        QVERIFY(!ran);
    }
};

QTEST_GUILESS_MAIN(HandOffTest)
#include "test_handoff.moc"
