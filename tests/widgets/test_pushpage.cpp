#include "widgets/pushpage.h"

#include "push/pushsettings.h"
#include "services/pushlink.h"
#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include <fstream>
#include <sstream>

namespace app = zorvane::app;
namespace push = zorvane::push;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::TempDir;

namespace {

template <typename T> T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no child %s", name);
    }
    return found;
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

class TestPushPage : public QObject {
    Q_OBJECT

private slots:
    void addressesAreShownWithoutTheirSecret_data();
    void addressesAreShownWithoutTheirSecret();
    void aTargetAddedIsWrittenAndPosted();
    void badTargetsAreRefusedAndNothingIsWritten();
    void everyColumnIsInSight_data();
    void everyColumnIsInSight();
};

void TestPushPage::addressesAreShownWithoutTheirSecret_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("discord") << "https://discord.com/api/webhooks/123/tok-en"
                             << "https://discord.com/api/webhooks/123/tok-en"
                             << "https://discord.com/…";
    QTest::newRow("ntfy without scheme") << " ntfy.sh/boss-alerts "
                                         << "https://ntfy.sh/boss-alerts"
                                         << "https://ntfy.sh/…";
    QTest::newRow("user, port and query") << "http://me:pw@127.0.0.1:8080/hook?key=k"
                                          << "http://me:pw@127.0.0.1:8080/hook?key=k"
                                          << "http://127.0.0.1:8080/…";
    QTest::newRow("no address") << ""
                                << ""
                                << "…";
}

void TestPushPage::addressesAreShownWithoutTheirSecret() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(app::typedAddress(typed), stored);
    QCOMPARE(app::shownAddress(stored), shown);
}

void TestPushPage::aTargetAddedIsWrittenAndPosted() {
    LocalHttpServer server;
    std::atomic<int> posts{0};
    server.server().Post(".*", [&posts](const httplib::Request&, httplib::Response& response) {
        ++posts;
        response.status = 200;
    });
    server.start();
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    app::PushLink link(ZORVANE_PUSH_HELPER, file);
    app::PushPage page(link);
    page.show();

    QTest::mouseClick(child<QPushButton>(page, "pushAddButton"), Qt::LeftButton);
    auto* table = child<QTableWidget>(page, "pushTargetsTable");
    QCOMPARE(table->rowCount(), 1);
    auto* name = child<QLineEdit>(page, "pushNameEdit");
    name->setText(QStringLiteral("手机"));
    auto* kind = child<QComboBox>(page, "pushKindBox");
    kind->setCurrentIndex(kind->findText(QStringLiteral("JSON")));
    QTest::keyClicks(child<QLineEdit>(page, "pushUrlEdit"),
                     QString::fromStdString(server.base()) + QStringLiteral("/hook/s3cr3t"));
    QTest::mouseClick(child<QCheckBox>(page, "pushEvent_window"), Qt::LeftButton);

    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("手机"));
    QVERIFY2(!table->item(0, 3)->text().contains(QStringLiteral("s3cr3t")),
             qPrintable(table->item(0, 3)->text()));

    QString why;
    QVERIFY2(page.apply(&why), qPrintable(why));
    const push::PushSettingsRead read = push::readPushSettings(file);
    QVERIFY(read.problems.empty());
    QCOMPARE(read.settings.targets.size(), std::size_t(1));
    const push::PushTarget& target = read.settings.targets.front();
    QCOMPARE(target.name, std::string("手机"));
    QCOMPARE(target.kind, push::TargetKind::Json);
    QCOMPARE(target.url, server.base() + "/hook/s3cr3t");
    QVERIFY(!target.events.contains(push::AlertKind::WindowOpen));
    QVERIFY(target.events.contains(push::AlertKind::Spawn));
    QCOMPARE(std::filesystem::status(file).permissions() &
                 (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
             std::filesystem::perms::none);

    // The link took the new target: an alert is posted and the page shows the status.
    link.flush();
    QVERIFY(link.active());
    link.send({push::AlertKind::Spawn, 0, "火龙", "", "", QDateTime::currentSecsSinceEpoch()});
    QTRY_COMPARE_WITH_TIMEOUT(posts.load(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(table->item(0, 4)->text(), QStringLiteral("已发送 1"), 10000);
}

void TestPushPage::badTargetsAreRefusedAndNothingIsWritten() {
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    push::PushTarget kept;
    kept.id = "00112233445566ff";
    kept.name = "公会";
    kept.url = "https://discord.com/api/webhooks/1/t";
    QVERIFY(push::writePushSettings(file, {{kept}, {}}));
    const std::string before = fileText(file);

    const struct {
        const char* what;
        QString url;
        bool noEvents;
        QString error;
    } cases[] = {
        {"not an address", QStringLiteral("not an address at all"), false,
         QStringLiteral("推送目标“公会”的地址不是 http(s) 地址")},
        {"another scheme", QStringLiteral("ftp://example.com/x"), false,
         QStringLiteral("推送目标“公会”的地址不是 http(s) 地址")},
        {"no alerts chosen", QStringLiteral("https://ntfy.sh/topic"), true,
         QStringLiteral("推送目标“公会”没有选择要发送的提醒")},
    };
    for (const auto& c : cases) {
        app::PushLink link(ZORVANE_PUSH_HELPER, file);
        app::PushPage page(link);
        auto* url = child<QLineEdit>(page, "pushUrlEdit");
        QCOMPARE(url->text(), QString::fromStdString(kept.url));
        url->clear();
        QTest::keyClicks(url, c.url);
        if (c.noEvents) {
            for (const char* box : {"pushEvent_lead", "pushEvent_window", "pushEvent_spawn",
                                    "pushEvent_unrecorded"}) {
                child<QCheckBox>(page, box)->setChecked(false);
            }
        }
        QString why;
        QVERIFY2(!page.apply(&why), c.what);
        QCOMPARE(why, c.error);
        QCOMPARE(fileText(file), before);
    }
}

void TestPushPage::everyColumnIsInSight_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("a narrow dialog") << 420;
    QTest::newRow("the usual width") << 560;
    QTest::newRow("a wide one") << 900;
}

// The status is what a player opens the page for: no column, the last one least, may sit
// behind a scroll bar, whatever the addresses' lengths.
void TestPushPage::everyColumnIsInSight() {
    QFETCH(int, width);
    const TempDir dir;
    app::PushLink link(ZORVANE_PUSH_HELPER, dir.path() / "push.json");
    app::PushPage page(link);
    page.resize(width, 420);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    auto* table = child<QTableWidget>(page, "pushTargetsTable");
    for (const QString& url :
         {QStringLiteral("https://ntfy.sh/zorvane"),
          QStringLiteral("https://discord.com/api/webhooks/123456789012345678/") +
              QString(68, QLatin1Char('x'))}) {
        QTest::mouseClick(child<QPushButton>(page, "pushAddButton"), Qt::LeftButton);
        child<QLineEdit>(page, "pushNameEdit")->setText(QStringLiteral("公会频道"));
        QTest::keyClicks(child<QLineEdit>(page, "pushUrlEdit"), url);
    }
    QCOMPARE(table->rowCount(), 2);
    QTRY_VERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    for (int column = 0; column < table->columnCount(); ++column) {
        const QHeaderView* header = table->horizontalHeader();
        QVERIFY2(header->sectionSize(column) >= 30, qPrintable(QString::number(column)));
        QVERIFY(header->sectionViewportPosition(column) + header->sectionSize(column) <=
                table->viewport()->width());
    }
    // An address cut short is whole in its tip.
    QVERIFY(table->item(1, 3)->toolTip().startsWith(QStringLiteral("https://discord.com/")));
}

QTEST_MAIN(TestPushPage)
#include "test_pushpage.moc"
