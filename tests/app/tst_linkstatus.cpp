#include "linkstatus.h"

#include <QTest>

class tst_LinkStatus : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
};

void tst_LinkStatus::text_data()
{
    QTest::addColumn<LinkStatistics>("counts");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<QString>("expected");

    // The line rate read every 20 ms: more frames than reads.
    QTest::newRow("frames skipped")
        << LinkStatistics{1920, 0, 137, 100} << 2.0 << 14
        << QString::fromUtf8("960 B/s · 68.5 frames/s · 50.0 shown/s · 27% skipped"
                             " · set the read interval below 14 ms to keep every frame");
    QTest::newRow("every frame shown") << LinkStatistics{960, 0, 68, 68} << 1.0 << 14
                                       << QString::fromUtf8("960 B/s · 68.0 frames/s · 68.0 shown/s · 0% skipped");
    // The longest frame takes 107.3 ms on the line.
    QTest::newRow("slow reads drop bytes")
        << LinkStatistics{256, 704, 2, 1} << 1.0 << 103
        << QString::fromUtf8("256 B/s · 2.0 frames/s · 1.0 shown/s · 50% skipped · 704 B/s dropped unread"
                             " · set the read interval below 107 ms to keep every frame");
    QTest::newRow("bytes but no frame: wrong layout")
        << LinkStatistics{960, 0, 0, 0} << 1.0 << 103
        << QString::fromUtf8("960 B/s · 0.0 frames/s · 0.0 shown/s · 0% skipped"
                             " · no frame found: check the message frame setup");
    QTest::newRow("silent line") << LinkStatistics{} << 1.0 << 14
                                 << QString::fromUtf8("0 B/s · 0.0 frames/s · 0.0 shown/s · 0% skipped");
}

void tst_LinkStatus::text()
{
    QFETCH(LinkStatistics, counts);
    QFETCH(double, seconds);
    QFETCH(int, frameLength);
    QFETCH(QString, expected);
    QCOMPARE(linkStatusText(counts, seconds, frameLength), expected);
}

QTEST_APPLESS_MAIN(tst_LinkStatus)
#include "tst_linkstatus.moc"
