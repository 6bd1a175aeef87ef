#include "Views/Theme/Animation.h"
#include "Views/Theme/FlowLayout.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/ProgressRing.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

class ThemeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void flowPlacement_data();
    void flowPlacement();
    void flowLayoutPlacesWidgets();
    void animatedValueJumpsWhenAnimationsAreOff();
    void progressRingArcFollowsTheSwitch();
    void symbolsRenderSharpAndTinted_data();
    void symbolsRenderSharpAndTinted();
};

using Sizes = QList<QSize>;
using Frames = QList<QRect>;

void ThemeTest::flowPlacement_data()
{
    QTest::addColumn<Sizes>("sizes");
    QTest::addColumn<int>("width");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<QSize>("total");

    QTest::newRow("one line") << Sizes{{30, 10}, {40, 12}} << 100
                              << Frames{{0, 0, 30, 10}, {35, 0, 40, 12}} << QSize(75, 12);
    // 30 + 5 + 40 + 5 + 30 = 110 > 100: the third child starts a line 5 below the tallest (12).
    QTest::newRow("wraps") << Sizes{{30, 10}, {40, 12}, {30, 8}} << 100
                           << Frames{{0, 0, 30, 10}, {35, 0, 40, 12}, {0, 17, 30, 8}}
                           << QSize(75, 25);
    QTest::newRow("exact fit stays") << Sizes{{45, 10}, {50, 10}} << 100
                                     << Frames{{0, 0, 45, 10}, {50, 0, 50, 10}} << QSize(100, 10);
    QTest::newRow("wider than the line, alone and whole")
        << Sizes{{20, 10}, {150, 14}, {20, 10}} << 100
        << Frames{{0, 0, 20, 10}, {0, 15, 150, 14}, {0, 34, 20, 10}} << QSize(150, 44);
    QTest::newRow("unbounded") << Sizes{{60, 10}, {60, 10}} << -1
                               << Frames{{0, 0, 60, 10}, {65, 0, 60, 10}} << QSize(125, 10);
    QTest::newRow("empty") << Sizes{} << 100 << Frames{} << QSize(0, 0);
}

void ThemeTest::flowPlacement()
{
    QFETCH(Sizes, sizes);
    QFETCH(int, width);
    const auto placement = FlowLayout::place(sizes, width, 5, 5);
    QTEST(placement.frames, "frames");
    QTEST(placement.size, "total");
}

void ThemeTest::flowLayoutPlacesWidgets()
{
    QWidget host;
    auto *flow = new FlowLayout(5, 5, &host);
    QList<QWidget *> children;
    for (int i = 0; i < 3; ++i) {
        auto *child = new QWidget(&host);
        child->setFixedSize(40, 10 + i);
        flow->addWidget(child);
        children.append(child);
    }
    // The first line is as tall as its tallest child (11); the second starts 5 below it.
    QCOMPARE(flow->heightForWidth(100), 11 + 5 + 12);
    host.resize(100, flow->heightForWidth(100));
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(children[1]->geometry(), QRect(45, 0, 40, 11));
    QCOMPARE(children[2]->geometry(), QRect(0, 16, 40, 12));
}

void ThemeTest::animatedValueJumpsWhenAnimationsAreOff()
{
    QWidget host;
    AnimatedValue value(&host, 0);
    Animation::setEnabled(true);
    value.animateTo(1, 10'000);
    QVERIFY(value.isRunning());
    QVERIFY(value.value() < 1);
    QCOMPARE(value.target(), 1.0);

    Animation::setEnabled(false);
    value.animateTo(0.5, 10'000);
    QVERIFY(!value.isRunning());
    QCOMPARE(value.value(), 0.5);
}

void ThemeTest::progressRingArcFollowsTheSwitch()
{
    Animation::setEnabled(true);
    QCOMPARE(ProgressRing::arcLength(), 0.28);
    Animation::setEnabled(false);
    QCOMPARE(ProgressRing::arcLength(), 0.75);
    QCOMPARE(ProgressRing::rotation(), 0.0);

    // The still ring covers three quarters: from twelve o'clock clockwise to nine o'clock, so
    // the top-left quadrant stays faint.
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    ProgressRing::paint(painter, QRectF(0, 0, 40, 40), Qt::red, QPalette(), 0);
    painter.end();
    const auto redAt = [&](int x, int y) { return qRed(image.pixel(x, y)) > 150; };
    QVERIFY(redAt(39, 20)); // three o'clock
    QVERIFY(redAt(20, 39)); // six o'clock
    QVERIFY(redAt(1, 20));  // nine o'clock
    QVERIFY(!redAt(6, 6));  // inside the open quarter
}

void ThemeTest::symbolsRenderSharpAndTinted_data()
{
    QTest::addColumn<QString>("symbol");
    const QString symbols = QString::fromLatin1(
        "chevron.left ellipsis checkmark.circle.fill key.slash key.fill plus.circle.fill "
        "photo.on.rectangle.angled arrow.down.circle.fill square.grid.2x2 clock "
        "checkmark slash.circle exclamationmark.triangle.fill "
        "exclamationmark.circle.fill xmark photo video "
        "arrow.up.left.and.arrow.down.right plus tag folder.fill wand.and.stars "
        "arrow.uturn.backward chevron.down magnifyingglass trash film.stack "
        "xmark.circle.fill plus.circle");
    for (const QString &symbol : symbols.split(u' '))
        QTest::newRow(qPrintable(symbol)) << symbol;
}

void ThemeTest::symbolsRenderSharpAndTinted()
{
    QFETCH(QString, symbol);
    QVERIFY(Icons::has(symbol));
    const QPixmap pixmap = Icons::pixmap(symbol, QColor(0, 0, 255), 12, 2.0);
    QCOMPARE(pixmap.size(), QSize(24, 24));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    const QImage image = pixmap.toImage();
    bool tinted = false;
    for (int y = 0; y < image.height() && !tinted; ++y)
        for (int x = 0; x < image.width() && !tinted; ++x)
            tinted = qAlpha(image.pixel(x, y)) > 200 && qBlue(image.pixel(x, y)) > 200;
    QVERIFY2(tinted, "no pixel drawn in the tint");
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"
