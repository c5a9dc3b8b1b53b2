// The file behind a font: the window hands back the pages of its Kai face's file, so the
// file found must be the one Qt draws the family from.
#include "models/fontfile.h"

#include <QTest>

#include <string>

using namespace zorvane;

class FontFileTest : public QObject {
    Q_OBJECT

private slots:
    void fileOfTheFamilyQtDraws_data() {
        QTest::addColumn<QStringList>("families");
        QTest::addColumn<QString>("fileName");
        // The faces scripts/deps installs.
        QTest::newRow("the Kai face")
            << QStringList{QStringLiteral("AR PL UKai CN")} << QStringLiteral("ukai.ttc");
        QTest::newRow("the Kai face after families this system lacks")
            << QStringList{QStringLiteral("KaiTi"), QStringLiteral("楷体"),
                           QStringLiteral("AR PL UKai CN")}
            << QStringLiteral("ukai.ttc");
        QTest::newRow("another face of the same kind of file")
            << QStringList{QStringLiteral("WenQuanYi Micro Hei")}
            << QStringLiteral("wqy-microhei.ttc");
    }
    void fileOfTheFamilyQtDraws() {
        QFETCH(QStringList, families);
        QFETCH(QString, fileName);
        QFont font;
        font.setFamilies(families);
        font.setPixelSize(16);
        const std::string file = app::fontFileOf(font);
        QVERIFY2(QString::fromStdString(file).endsWith(QLatin1Char('/') + fileName), file.c_str());
    }
};

QTEST_MAIN(FontFileTest)
#include "test_fontfile.moc"
