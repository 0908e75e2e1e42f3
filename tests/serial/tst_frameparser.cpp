#include "framebytes.h"
#include "frameparser.h"

#include <QtTest>

using Tail = FrameParser::Tail;
Q_DECLARE_METATYPE(FrameParser::Tail)

namespace {

const unsigned char *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const unsigned char *>(bytes.constData());
}

// The samples of one feed, oldest first.
Samples samplesOf(const FrameParser::Result &read)
{
    Samples samples;
    for (const FrameParser::Frame &f : read.frames)
        samples << values(f.sample);
    return samples;
}

// Feeds bytes in reads of chunk bytes each, as a line hands them over; the
// samples of all the reads, in order.
Samples feedInChunks(FrameParser &parser, const QByteArray &bytes, int chunk)
{
    Samples samples;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        const QByteArray part = bytes.mid(at, chunk);
        samples += samplesOf(parser.feed(bytesOf(part), int(part.size())));
    }
    return samples;
}

} // namespace

class tst_FrameParser : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void everyByteValue();
    void everyFrameOfARead();
    void frameSplitAcrossReads_data();
    void frameSplitAcrossReads();
};

void tst_FrameParser::parse_data()
{
    QTest::addColumn<Record>("record"); // empty: the settings never arrived
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Tail>("tail"); // how the last frame-length of bytes stands
    QTest::addColumn<Samples>("samples"); // the newest

    const QByteArray example = QByteArray::fromHex("0005fffe006401008000" "7fff");
    const Samples exampleSample{{256, -32768, 32767, 5, -2, 100}};
    const Record start2{12, -1, 7, -1, -1}, end1{12, -1, -1, 9, -1}, starts{16, 170, 85, 55, 1};
    const Record noMarkers{12, -1, -1, -1, -1}, startsOnly{12, 170, 85, -1, -1};

    QTest::newRow("one frame, untouched dialog layout")
        << dialogLayout << example + "\x37\x01" << Tail::Frame << exampleSample;
    QTest::newRow("one frame, initial layout") << Record() << example + "\x25\x01" << Tail::Frame << exampleSample;
    QTest::newRow("dialog end bytes under the initial layout")
        << Record() << example + "\x37\x01" << Tail::NotAFrame << Samples();
    QTest::newRow("two frames: the second counts")
        << dialogLayout << frame(a) + frame(b) << Tail::Frame << Samples{values(b)};
    QTest::newRow("nothing waiting") << dialogLayout << QByteArray() << Tail::TooShort << Samples();
    QTest::newRow("ten bytes") << dialogLayout << frame(a).left(10) << Tail::TooShort << Samples();
    // The end bytes of a frame say where the next begins; a frame after a
    // break waits for the next one to follow it directly.
    QTest::newRow("begins with the end of a frame")
        << dialogLayout << frame(a).right(5) + frame(b) << Tail::Frame << Samples{values(b)};
    QTest::newRow("begins in the middle of a frame")
        << dialogLayout << frame(a).mid(2, 4) + frame(b) + frame(a) << Tail::Frame << Samples{values(a)};
    QTest::newRow("begins in the middle of a frame, no frame after it")
        << dialogLayout << frame(a).mid(2, 4) + frame(b) << Tail::Frame << Samples();
    QTest::newRow("one end byte of the frame before lost")
        << dialogLayout << frame(a).remove(13, 1) + frame(b) + frame(a) << Tail::Frame << Samples{values(a)};
    QTest::newRow("frame, then part of one") << dialogLayout << frame(a) + frame(b).left(6)
                                             << Tail::NotAFrame << Samples{values(a)};
    // After garbage a window counts only when it holds no end bytes but its
    // own: a frame that lost a byte holds those of the frame before it.
    QTest::newRow("garbage before two frames") << dialogLayout << "xyz" + frame(a) + frame(b)
                                               << Tail::Frame << Samples{values(b)};
    QTest::newRow("garbage, then a frame and one that lost a byte")
        << dialogLayout << "xyz" + frame(a) + frame(b).remove(3, 1) << Tail::Frame
        << Samples();
    QTest::newRow("end byte lost, then a frame that lost a byte")
        << dialogLayout << frame(b).remove(12, 1) + frame(a).remove(3, 1) << Tail::Frame << Samples();
    QTest::newRow("end byte lost, then a frame that lost three bytes")
        << dialogLayout << frame(b).remove(13, 1) + frame(a).remove(8, 1).remove(5, 1).remove(2, 1)
        << Tail::Frame << Samples();
    QTest::newRow("garbage ending in end bytes, then a frame that lost a byte")
        << dialogLayout << QByteArray("xyz\x37\x01", 5) + frame(b).remove(3, 1) << Tail::Frame
        << Samples();
    QTest::newRow("garbage with end bytes between frames")
        << dialogLayout << frame(b) + QByteArray("\x37\x37\x01\x00", 4) + frame(a) << Tail::Frame
        << Samples{values(b)};
    // The window that ends at the damaged frame's end bytes begins with the
    // end byte of the frame before it.
    QTest::newRow("byte lost inside a frame")
        << dialogLayout << frame(a) + frame(b).remove(3, 1) << Tail::Frame << Samples{values(a)};
    // Nothing marks where a frame begins: frames are the twelve-byte blocks
    // of the line, one after the other.
    QTest::newRow("all markers off: twelve bytes at a time")
        << noMarkers << frame(a, noMarkers) + frame(b, noMarkers) + "12345" << Tail::Frame
        << Samples{values(b)};
    // With start bytes only, a frame is judged by the start of the next.
    QTest::newRow("only start byte 2") << start2 << frame(b, start2)
        << Tail::Frame << Samples();
    QTest::newRow("only start byte 2, next frame begun") << start2 << frame(b, start2) + frame(a, start2).left(2)
        << Tail::NotAFrame << Samples{values(b)};
    QTest::newRow("start bytes only, garbage after a frame") << startsOnly
        << frame(a, startsOnly) + "xyz" << Tail::NotAFrame << Samples{values(a)};
    QTest::newRow("start bytes only, byte lost inside a frame") << startsOnly
        << frame(a, startsOnly) + frame(b, startsOnly).remove(5, 1) + frame(a, startsOnly).left(2)
        << Tail::NotAFrame << Samples{values(a)};
    QTest::newRow("only end byte 1") << end1 << frame(b, end1) << Tail::Frame << Samples{values(b)};
    QTest::newRow("start bytes: sample from the data bytes")
        << starts << "\x37\x01" + frame(b, starts) + frame(a, starts) << Tail::Frame << Samples{values(a)};
    QTest::newRow("fewer than twelve data bytes") << Record{6, -1, -1, 55, 1} << QByteArray("abcdef\x37\x01")
        << Tail::Frame << Samples();
    QTest::newRow("marker that cannot fit the frame") << Record{0, -1, 5, -1, -1} << QByteArray("\x05\x05")
        << Tail::NotAFrame << Samples();
}

// One read of bytes gives the newest sample and the state of its tail;
// each frame ends where its bytes end. Then the same bytes, cut into reads
// of every size, give the same frames.
void tst_FrameParser::parse()
{
    QFETCH(Record, record);
    QFETCH(QByteArray, bytes);
    QFETCH(Tail, tail);
    QFETCH(Samples, samples);

    const FrameLayout layout = layoutOf(record);
    const int length = layout.frameLength();
    FrameParser parser(layout);
    const FrameParser::Result read = parser.feed(bytesOf(bytes), int(bytes.size()));
    QCOMPARE(read.tail, tail);
    const Samples all = samplesOf(read);
    QCOMPARE(all.isEmpty() ? Samples() : Samples{all.last()}, samples);
    for (const FrameParser::Frame &f : read.frames) {
        QVERIFY(f.end >= length && f.end <= bytes.size());
        QCOMPARE(values(*layout.decode(bytesOf(bytes) + f.end - length, length)), values(f.sample));
    }

    for (int chunk = 1; chunk < bytes.size(); ++chunk) {
        FrameParser again(layout);
        QCOMPARE(feedInChunks(again, bytes, chunk), all);
    }
}

void tst_FrameParser::everyByteValue()
{
    const FrameLayout layout = layoutOf(dialogLayout);
    FrameParser parser(layout);
    for (int first = 0; first < 256; first += 12) {
        unsigned char data[12];
        for (int k = 0; k < 12; ++k)
            data[k] = static_cast<unsigned char>(first + k);
        const QByteArray bytes = QByteArray(reinterpret_cast<const char *>(data), 12) + "\x37\x01";
        QCOMPARE(samplesOf(parser.feed(bytesOf(bytes), int(bytes.size()))), Samples{values(*layout.decode(data, 12))});
    }
}

// Frames between garbage, a damaged frame and a partial one, all in one
// read: every whole frame comes out, in line order.
void tst_FrameParser::everyFrameOfARead()
{
    FrameParser parser(layoutOf(dialogLayout));
    // After garbage a frame waits for the next one to follow it; then both
    // come out. The frame after the damaged one follows its end bytes.
    const QByteArray first = frame(a) + frame(b) + "xyz" + frame(a) + frame(b) + frame(b).remove(3, 1) + frame(b)
            + frame(a) + "xyz" + frame(b) + frame(a).left(5);
    QCOMPARE(samplesOf(parser.feed(bytesOf(first), int(first.size()))),
             (Samples{values(a), values(b), values(a), values(b), values(b), values(a)}));
    const LinkStatistics counted = parser.takeCounts();
    QCOMPARE(counted.framesFound, 7);
    QCOMPARE(counted.framesConfirmed, 6);
    QCOMPARE(counted.samplesEmitted, 6);
    // The frame that lost a byte still ended in its end bytes. After it
    // the line is known to lose bytes, so the frame after the second
    // garbage may be one that lost some: it fails and no frame confirms it.
    QCOMPARE(counted.framesFailed, 2);

    const QByteArray second = frame(a).mid(5) + frame(b);
    QCOMPARE(samplesOf(parser.feed(bytesOf(second), int(second.size()))), (Samples{values(a), values(b)}));
}

void tst_FrameParser::frameSplitAcrossReads_data()
{
    QTest::addColumn<Record>("record");
    QTest::addColumn<int>("chunk");

    const struct {
        const char *name;
        Record record;
    } layouts[] = {
        {"untouched dialog layout", dialogLayout},
        {"start bytes only", {12, 170, 85, -1, -1}},
        {"99 data bytes and all markers", {99, 170, 85, 55, 1}},
        // Longer than the settings offer: more is kept between reads than
        // for any of theirs.
        {"300 data bytes and all markers", {300, 170, 85, 55, 1}},
    };
    for (const auto &layout : layouts) {
        const int length = layoutOf(layout.record).frameLength();
        for (int chunk = 1; chunk <= 4 * length; ++chunk)
            QTest::addRow("%s, %d-byte reads", layout.name, chunk) << layout.record << chunk;
    }
}

// A line hands the reader its bytes a few at a time, or in bursts of several
// frames, so a read seldom ends where a frame ends. However the stream is
// cut, every frame comes out exactly once, in order.
void tst_FrameParser::frameSplitAcrossReads()
{
    QFETCH(Record, record);
    QFETCH(int, chunk);
    const FrameLayout layout = layoutOf(record);
    const int length = layout.frameLength();

    Samples sent;
    QByteArray stream = frame(ImuSample{9, 9, 9, 9, 9, 9}, record).right(5); // the line was opened mid-frame
    for (int k = 1; k <= 6; ++k) {
        const ImuSample sample{int16_t(3 * k), int16_t(-k), int16_t(1000 + k),
                               int16_t(2 * k), int16_t(-300 - k), int16_t(4 * k)};
        sent << values(sample);
        stream += frame(sample, record);
    }
    // Frames with start bytes only are judged by the start of the next.
    stream += frame(ImuSample{9, 9, 9, 9, 9, 9}, record).left(2);
    // Only the real frames may match, or the expectations below are wrong.
    for (int start = 0; start + length <= stream.size() - 2; ++start)
        QCOMPARE(layout.matches(bytesOf(stream) + start, length), (start - 5) % length == 0 && start >= 5);

    FrameParser parser(layout);
    QCOMPARE(feedInChunks(parser, stream, chunk), sent);
}

QTEST_APPLESS_MAIN(tst_FrameParser)
#include "tst_frameparser.moc"
