// The Kai face: the family list Qt is given starts at the first installed family, and the
// labels look exactly as with the whole list.
#include "widgets/kaiface.h"

#include "tests/support/drawntext.h"

#include <QFontInfo>
#include <QImage>
#include <QTest>

using namespace zorvane;

using zorvane::testing::drawnText;

class KaiFaceTest : public QObject {
    Q_OBJECT

private slots:
    void startsAtTheFirstInstalledFamily_data() {
        QTest::addColumn<QStringList>("wanted");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        const QStringList kai{QStringLiteral("KaiTi"), QStringLiteral("楷体"),
                              QStringLiteral("AR PL UKai CN")};
        QTest::newRow("only the last")
            << kai << QStringList{"DejaVu Sans", "AR PL UKai CN", "WenQuanYi Micro Hei"}
            << QStringList{"AR PL UKai CN"};
        QTest::newRow("the first") << kai << QStringList{"AR PL UKai CN", "KaiTi"} << kai;
        QTest::newRow("the middle one")
            << kai << QStringList{"楷体", "AR PL UKai CN"} << kai.mid(1);
        QTest::newRow("none: all kept") << kai << QStringList{"DejaVu Sans"} << kai;
        QTest::newRow("nothing installed") << kai << QStringList{} << kai;
        QTest::newRow("another case") << kai << QStringList{"kaiti"} << kai;
        QTest::newRow("with a foundry")
            << kai << QStringList{"AR PL UKai CN [PfEd]"} << QStringList{"AR PL UKai CN"};
        QTest::newRow("a longer name is another family")
            << kai << QStringList{"KaiTi_GB2312", "AR PL UKai CN Bold", "AR PL UKai CN"}
            << QStringList{"AR PL UKai CN"};
        QTest::newRow("a bracket inside the name")
            << QStringList{"Sans [x", "Serif"} << QStringList{"Sans [x"}
            << QStringList{"Sans [x", "Serif"};
        QTest::newRow("nothing wanted") << QStringList{} << QStringList{"KaiTi"} << QStringList{};
    }
    void startsAtTheFirstInstalledFamily() {
        QFETCH(QStringList, wanted);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        QCOMPARE(app::fromFirstInstalled(wanted, installed), expected);
    }

    // The window's Kai texts, drawn with the shortened list and with the whole one
    // (as before): the same face, the same pixels.
    void drawsAsTheWholeList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pixels");
        QTest::newRow("warning label") << QStringLiteral("提前     分钟预警") << 20;
        QTest::newRow("warning minutes") << QStringLiteral("15") << 20;
        QTest::newRow("clock") << QStringLiteral("北京时间：21:05:09") << 16;
        QTest::newRow("clock, English") << QStringLiteral("Beijing time: 21:05:09") << 16;
    }
    void drawsAsTheWholeList() {
        QFETCH(QString, text);
        QFETCH(int, pixels);
        const QFont font = app::kaiFont(pixels);
        QFont whole = font;
        whole.setFamilies(
            {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN")});
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("AR PL UKai CN"));
        QCOMPARE(QFontInfo(font).pixelSize(), pixels);
        QCOMPARE(QFontInfo(font).family(), QFontInfo(whole).family());
        const QImage image = drawnText(font, text);
        QCOMPARE(image, drawnText(whole, text));
        QVERIFY(image != drawnText(QFont(), text)); // drawn in the Kai face, not the default one
    }
};

QTEST_MAIN(KaiFaceTest)
#include "test_kaiface.moc"
