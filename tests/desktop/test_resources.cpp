// The pictures and icons the window loads by resource path are really
// compiled in, decode, and have the sizes the layout was drawn for.
#include "KestrinResources.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTest>

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void picturesDecode_data();
    void picturesDecode();
    void applicationIconHasEverySize();
};

void TestResources::picturesDecode_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("transparent");

    QTest::newRow("upper picture img1") << QStringLiteral(":/kestrin/img1.jpg")
                                        << QByteArray("jpeg") << QSize(500, 413) << false;
    QTest::newRow("home-page banner img2") << QStringLiteral(":/kestrin/img2.jpg")
                                           << QByteArray("jpeg") << QSize(110, 50) << false;
    for (int size : KestrinResources::IconSizes) {
        const QByteArray row = "icon " + QByteArray::number(size) + " px";
        QTest::newRow(row.constData()) << KestrinResources::iconPath(size)
                                       << QByteArray("png") << QSize(size, size) << true;
    }
}

void TestResources::picturesDecode()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(bool, transparent);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(image.size(), size);
    // The icon's rounded corners must show the desktop behind them; a JPEG
    // never has an alpha channel.
    QCOMPARE(image.hasAlphaChannel(), transparent);
    if (transparent)
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
}

void TestResources::applicationIconHasEverySize()
{
    QVERIFY(QFile::exists(QString::fromLatin1(KestrinResources::ScalableIcon)));
    const QIcon icon = KestrinResources::applicationIcon();
    QVERIFY(!icon.isNull());
    for (int size : KestrinResources::IconSizes) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size));
        QCOMPARE(pixmap.size(), QSize(size, size));
    }
}

QTEST_MAIN(TestResources)
#include "test_resources.moc"
