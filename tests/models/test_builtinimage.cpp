// The built-in pictures are read without Qt's image format plugins: left to guess, Qt
// loads all of them (with libjpeg) into the window for good.
#include "models/builtinimage.h"
#include "tests/support/mappedlibrary.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <cstdlib>

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

    // The small icon is the whole icon without its 256 px picture, pixel for pixel.
    void smallIconIsTheWholeWithoutTheLargePicture_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
        QTest::newRow("48") << 48;
    }
    void smallIconIsTheWholeWithoutTheLargePicture() {
        QFETCH(int, size);
        const QIcon small = app::programIcon(app::IconSizes::Small);
        QCOMPARE(small.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
        const QImage picture = small.pixmap(size).toImage();
        QCOMPARE(picture.size(), QSize(size, size));
        QCOMPARE(picture, app::programIcon().pixmap(size).toImage());
    }

    // The small copies are the large pictures at the size the window shows them, as the
    // window's smooth scaling made them: a redrawn large picture needs its copy made again
    // (assets/make-music-note.sh).
    void smallCopiesMatchTheirLargePicture_data() {
        QTest::addColumn<QString>("large");
        QTest::addColumn<QString>("small");
        QTest::addColumn<QSize>("size");
        QTest::newRow("music note")
            << QStringLiteral(":/assets/music-note.png")
            << QStringLiteral(":/assets/music-note-20.png") << QSize(20, 20);
    }
    void smallCopiesMatchTheirLargePicture() {
        QFETCH(QString, large);
        QFETCH(QString, small);
        QFETCH(QSize, size);
        const QImage big = app::builtInPng(large);
        QVERIFY(!big.isNull());
        const QImage scaled = big.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
        const QImage copy = app::builtInPng(small).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(copy.size(), size);
        int worst = 0;
        int drawn = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = scaled.pixel(x, y);
                const QRgb b = copy.pixel(x, y);
                worst =
                    std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
                drawn += qAlpha(b) > 0 ? 1 : 0;
            }
        }
        // Stored without premultiplied colours: a faint edge pixel may move by a step.
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
        QVERIFY(drawn > size.width() * size.height() / 10);
    }

    // The icon decodes its pictures when asked; what it gives must be what an icon holding
    // all of them decoded gives, at every size the window manager, the tray or a
    // notification may ask for.
    void iconGivesWhatAnIconOfDecodedPicturesGives_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("mode");
        const QList<QSize> sizes{{16, 16},   {20, 20}, {22, 22}, {24, 24},   {32, 32},
                                 {48, 48},   {49, 49}, {64, 64}, {128, 128}, {256, 256},
                                 {300, 300}, {64, 32}, {1, 1}};
        for (const QSize& size : sizes) {
            for (const auto mode : {QIcon::Normal, QIcon::Active, QIcon::Disabled}) {
                QTest::addRow("%dx%d mode %d", size.width(), size.height(), int(mode))
                    << size << int(mode);
            }
        }
    }
    void iconGivesWhatAnIconOfDecodedPicturesGives() {
        QFETCH(QSize, size);
        QFETCH(int, mode);
        QIcon decoded;
        for (const int side : {16, 32, 48, 256}) {
            decoded.addPixmap(QPixmap::fromImage(
                app::builtInPng(QStringLiteral(":/assets/icons/%1.png").arg(side))));
        }
        const QIcon icon = app::programIcon();
        const auto iconMode = static_cast<QIcon::Mode>(mode);
        QCOMPARE(icon.availableSizes(iconMode), decoded.availableSizes(iconMode));
        QCOMPARE(icon.actualSize(size, iconMode), decoded.actualSize(size, iconMode));
        const QImage got = icon.pixmap(size, iconMode).toImage();
        const QImage want = decoded.pixmap(size, iconMode).toImage();
        QCOMPARE(got.size(), want.size());
        QCOMPARE(got.convertToFormat(QImage::Format_ARGB32),
                 want.convertToFormat(QImage::Format_ARGB32));

        // Painted into a rectangle as the tray paints it.
        QImage paintedGot(size, QImage::Format_ARGB32);
        QImage paintedWant(size, QImage::Format_ARGB32);
        paintedGot.fill(Qt::transparent);
        paintedWant.fill(Qt::transparent);
        {
            QPainter painter(&paintedGot);
            icon.paint(&painter, QRect(QPoint(), size), Qt::AlignCenter, iconMode);
        }
        {
            QPainter painter(&paintedWant);
            decoded.paint(&painter, QRect(QPoint(), size), Qt::AlignCenter, iconMode);
        }
        QCOMPARE(paintedGot, paintedWant);
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
