#include "linkstatus.h"

#include <QTest>

class tst_LinkStatus : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void wrongLayout_data();
    void wrongLayout();
};

void tst_LinkStatus::text_data()
{
    QTest::addColumn<LinkStatistics>("counts");
    QTest::addColumn<SampleUse>("use");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("marked"); // false: no start or end byte in the layout

    // LinkStatistics: bytes taken, dropped, frames found, failed, samples,
    // frames confirmed.
    QTest::newRow("clean line, logged and drawn")
        << LinkStatistics{1920, 0, 137, 0, 137, 137} << SampleUse{137, 137}
        << QString::fromUtf8("960 B/s · 68.5 frames/s · 68.5 logged/s · 68.5 drawn/s") << true;
    QTest::newRow("neither logged nor drawn") << LinkStatistics{1920, 0, 137, 0, 137, 137} << SampleUse{}
                                              << QString::fromUtf8("960 B/s · 68.5 frames/s") << true;
    // A log that stopped taking lines shows in its rate.
    QTest::newRow("logging behind") << LinkStatistics{1920, 0, 137, 0, 137, 137} << SampleUse{20, -1}
                                    << QString::fromUtf8("960 B/s · 68.5 frames/s · 10.0 logged/s") << true;
    QTest::newRow("damaged frames") << LinkStatistics{1920, 0, 120, 17, 120, 120} << SampleUse{120, -1}
                                    << QString::fromUtf8("960 B/s · 60.0 frames/s · 60.0 logged/s · 12.4% lost") << true;
    // 1400 dropped bytes held about 100 frames of 14 bytes.
    QTest::newRow("bytes dropped unread")
        << LinkStatistics{8192, 1400, 585, 0, 585, 585} << SampleUse{585, 585}
        << QString::fromUtf8("4096 B/s · 292.5 frames/s · 292.5 logged/s · 292.5 drawn/s · 14.6% lost"
                             " · 700 B/s dropped unread") << true;
    QTest::newRow("bytes but no frame: wrong layout")
        << LinkStatistics{1920, 0, 0, 0, 0, 0} << SampleUse{0, -1}
        << QString::fromUtf8("960 B/s · 0.0 frames/s · 0.0 logged/s · no frame found: check the message frame setup") << true;
    QTest::newRow("silent line") << LinkStatistics{} << SampleUse{0, 0}
                                 << QString::fromUtf8("0 B/s · 0.0 frames/s · 0.0 logged/s · 0.0 drawn/s") << true;
    // A lost byte shifts every later frame, and nothing can tell.
    QTest::newRow("layout without markers") << LinkStatistics{1920, 0, 160, 0, 160, 160} << SampleUse{160, -1}
                                            << QString::fromUtf8("960 B/s · 80.0 frames/s · 80.0 logged/s"
                                                                 " · frames unchecked")
                                            << false;
}

// Two seconds of the default 14-byte frame, or of a 12-byte frame without
// markers.
void tst_LinkStatus::text()
{
    QFETCH(LinkStatistics, counts);
    QFETCH(SampleUse, use);
    QFETCH(QString, expected);
    QFETCH(bool, marked);
    const FrameLayout layout = marked ? FrameLayout::formDefault() : FrameLayout{12, -1, -1, -1, -1};
    QCOMPARE(linkStatusText(counts, 2.0, layout, use), expected);
}

void tst_LinkStatus::wrongLayout_data()
{
    QTest::addColumn<int>("dataBytes");    // of the monitor's layout; end bytes 55, 1
    QTest::addColumn<int>("spacing");      // of the markers on the line
    QTest::addColumn<int>("confirmed");
    QTest::addColumn<QString>("expected");
    const QString none;
    QTest::newRow("line sends 13 data bytes")
        << 12 << 15 << 0 << "Frames seem to be 15 bytes long, the layout has 14: set Data bytes to 13";
    QTest::newRow("line sends 20 data bytes")
        << 12 << 22 << 0 << "Frames seem to be 22 bytes long, the layout has 14: set Data bytes to 20";
    QTest::newRow("line sends fewer") << 16 << 14 << 0
                                      << "Frames seem to be 14 bytes long, the layout has 18: set Data bytes to 12";
    QTest::newRow("layout right, frames confirmed") << 12 << 14 << 60 << none;
    QTest::newRow("layout right, frames damaged") << 12 << 14 << 0 << none;
    QTest::newRow("frames confirmed at another spacing") << 12 << 15 << 5 << none;
}

void tst_LinkStatus::wrongLayout()
{
    QFETCH(int, dataBytes);
    QFETCH(int, spacing);
    QFETCH(int, confirmed);
    QFETCH(QString, expected);
    FrameLayout layout;
    layout.dataByteCount = dataBytes;
    layout.endByte1 = 55;
    LinkStatistics counts{960, 0, 3, 0, 0, confirmed};
    counts.markerSpacings[size_t(spacing)] = 60;
    counts.markerSpacings[size_t(spacing + 3)] = 5; // a damaged frame now and then
    QCOMPARE(wrongLayoutHint(counts, layout), expected);

    // Markers at no steady distance name no length.
    LinkStatistics scattered{960, 0, 0, 0, 0, 0};
    for (int d = 10; d < 40; ++d)
        scattered.markerSpacings[size_t(d)] = 3;
    QCOMPARE(wrongLayoutHint(scattered, layout), QString());
}

QTEST_APPLESS_MAIN(tst_LinkStatus)
#include "tst_linkstatus.moc"
