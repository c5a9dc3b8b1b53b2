// The built-in pictures are read without Qt's image format plugins: left to guess, Qt
// loads all of them (with libjpeg) into the window for good.
#include "models/builtinimage.h"
#include "tests/support/mappedlibrary.h"

#include <QFile>
#include <QPixmap>
#include <QTest>

using namespace zorvane;

class BuiltInImageTest : public QObject {
    Q_OBJECT

private slots:
    // First in this process, so no earlier test has loaded a plugin.
    void picturesAreReadWithoutFormatPlugins() {
        QVERIFY(!testing::libraryMapped("imageformats/"));

        const QIcon icon = app::programIcon();
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {256, 256}}));
        const QImage note = app::builtInPng(QStringLiteral(":/assets/music-note.png"));
        QVERIFY(!note.isNull());
        // Drawn pictures, not blank ones.
        const QImage large = icon.pixmap(256).toImage();
        QVERIFY(large.pixelColor(128, 128).alpha() > 0 || large.pixelColor(64, 64).alpha() > 0);

        QVERIFY2(!testing::libraryMapped("imageformats/"), "an image format plugin was loaded");
    }

    void missingOrForeignPicturesAreNull_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("no such resource") << QStringLiteral(":/assets/no-such.png");
        QTest::newRow("not a PNG") << QStringLiteral(":/i18n/zorvane_en.qm");
    }
    void missingOrForeignPicturesAreNull() {
        QFETCH(QString, path);
        QVERIFY(app::builtInPng(path).isNull());
        QVERIFY(!testing::libraryMapped("imageformats/"));
    }
};

QTEST_MAIN(BuiltInImageTest)
#include "test_builtinimage.moc"
