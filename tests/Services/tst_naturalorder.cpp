#include "Services/NaturalOrder.h"

#include <QTest>

// The file browser's order must hold in every locale, the C locale included (where Qt's own
// numeric collation does nothing), which is how the test session runs.
class TstNaturalOrder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        const auto row = [](const char *name, const char *a, const char *b, int expected) {
            QTest::newRow(name) << QString(a) << QString(b) << expected;
        };
        row("digit runs by value", "img2.png", "img10.png", -1);
        row("case does not count", "Photo.png", "photo.png", 0);
        row("case-insensitive letters", "a.png", "B.png", -1);
        row("leading zeros are the same value", "shot007.jpg", "shot7.jpg", 0);
        row("large numbers", "x99999999999999999999", "x100000000000000000000", -1);
        row("later runs decide", "a1b9", "a1b10", -1);
        row("digits before letters", "2.png", "a.png", -1);
        row("a prefix sorts first", "img", "img1", -1);
        row("text before a number", "abc", "abd", -1);
        row("reversed", "img10.png", "img9.png", 1);
    }
    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        const NaturalOrder order;
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        QCOMPARE(sign(order.compare(a, b)), expected);
        QCOMPARE(sign(order.compare(b, a)), -expected);
    }
};

QTEST_GUILESS_MAIN(TstNaturalOrder)
#include "tst_naturalorder.moc"
