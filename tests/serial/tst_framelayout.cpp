#include "framelayout.h"

#include <QtTest>

namespace {

FrameLayout layoutOf(const QList<int> &record)
{
    return FrameLayout::fromOptionFrame(record.constData());
}

const ImuSample extremes{256, -32768, 32767, 5, -2, 100};
const QByteArray extremesData = QByteArray::fromHex("0005fffe006401008000" "7fff");

} // namespace

class tst_FrameLayout : public QObject
{
    Q_OBJECT

private slots:
    void twoDefaults();
    void encodeDecode_data();
    void encodeDecode();
    void unencodable_data();
    void unencodable();
};

// The reader expects end byte 37 until settings arrive; the settings dialog
// opens with 55. Both frames are 14 bytes long.
void tst_FrameLayout::twoDefaults()
{
    QVERIFY(FrameLayout() == layoutOf({12, -1, -1, 37, 1}));
    QVERIFY(FrameLayout::formDefault() == layoutOf({12, -1, -1, 55, 1}));
    QCOMPARE(FrameLayout().frameLength(), 14);
    QCOMPARE(FrameLayout::formDefault().frameLength(), 14);
}

void tst_FrameLayout::encodeDecode_data()
{
    QTest::addColumn<QList<int>>("record");
    QTest::addColumn<QByteArray>("frame");

    const QByteArray d = extremesData;
    QTest::newRow("untouched dialog") << QList<int>{12, -1, -1, 55, 1} << d + "\x37\x01";
    QTest::newRow("initial layout") << QList<int>{12, -1, -1, 37, 1} << d + "\x25\x01";
    QTest::newRow("all markers off") << QList<int>{12, -1, -1, -1, -1} << d;
    QTest::newRow("start bytes, sixteen data bytes")
        << QList<int>{16, 170, 85, 55, 1} << "\xaa\x55" + d + QByteArray(4, 0) + "\x37\x01";
    // Offsets stay put when a marker is off: offset 0 becomes a data byte.
    QTest::newRow("only start byte 2") << QList<int>{12, -1, 7, -1, -1} << d.left(1) + '\x07' + d.mid(1);
    QTest::newRow("only end byte 1") << QList<int>{12, -1, -1, 9, -1} << d.left(11) + '\x09' + d.mid(11);
}

void tst_FrameLayout::encodeDecode()
{
    QFETCH(QList<int>, record);
    QFETCH(QByteArray, frame);
    const FrameLayout layout = layoutOf(record);
    const auto *bytes = reinterpret_cast<const unsigned char *>(frame.constData());

    const std::vector<unsigned char> encoded = layout.encode(extremes);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(encoded.data()), qsizetype(encoded.size())), frame);
    QVERIFY(layout.matches(bytes, int(frame.size())));
    const auto decoded = layout.decode(bytes, int(frame.size()));
    QVERIFY(decoded);
    QVERIFY(*decoded == extremes);
}

void tst_FrameLayout::unencodable_data()
{
    QTest::addColumn<QList<int>>("record");

    QTest::newRow("eleven data bytes") << QList<int>{11, -1, -1, 55, 1};
    QTest::newRow("marker above 255") << QList<int>{12, -1, -1, 256, 1};
    QTest::newRow("negative marker") << QList<int>{12, -5, -1, 55, 1};
    QTest::newRow("marker outside the frame") << QList<int>{0, -1, 5, -1, -1};
}

void tst_FrameLayout::unencodable()
{
    QFETCH(QList<int>, record);
    const FrameLayout layout = layoutOf(record);
    QVERIFY(layout.encode(extremes).empty());
}

QTEST_APPLESS_MAIN(tst_FrameLayout)
#include "tst_framelayout.moc"
