#include "linenoise.h"

#include <QTest>

#include <algorithm>
#include <numeric>

namespace {

constexpr int FrameBytes = 14;
constexpr int Frames = 20000;
// A garbage burst is 1 to 20 bytes long, 10.5 on average.
constexpr double MeanBurst = 10.5;

std::vector<unsigned char> frame()
{
    std::vector<unsigned char> bytes(FrameBytes);
    std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(100));
    return bytes;
}

} // namespace

class tst_LineNoise : public QObject
{
    Q_OBJECT

private slots:
    void rates_data();
    void rates();
    void sameSeedSameFaults();
};

void tst_LineNoise::rates_data()
{
    QTest::addColumn<double>("garbage");
    QTest::addColumn<double>("drop");

    QTest::newRow("clean line") << 0.0 << 0.0;
    QTest::newRow("drop 0.05") << 0.0 << 0.05;
    QTest::newRow("drop 0.5") << 0.0 << 0.5;
    QTest::newRow("drop everything") << 0.0 << 1.0;
    QTest::newRow("garbage 0.2") << 0.2 << 0.0;
    QTest::newRow("garbage before every frame") << 1.0 << 0.0;
    QTest::newRow("garbage 0.2, drop 0.1") << 0.2 << 0.1;
}

// Over many frames the faults come at the rates asked for, and what is not
// a fault reaches the line unchanged and in order.
void tst_LineNoise::rates()
{
    QFETCH(double, garbage);
    QFETCH(double, drop);

    LineNoise noise(garbage, drop, 7);
    const std::vector<unsigned char> sent = frame();
    long long bytesOut = 0;
    int framesWithGarbage = 0;
    for (int i = 0; i < Frames; ++i) {
        const std::vector<unsigned char> out = noise.pass(sent);
        bytesOut += static_cast<long long>(out.size());
        if (drop == 0) {
            // The frame itself arrives whole, after at most one burst.
            QVERIFY(out.size() >= sent.size() && out.size() <= sent.size() + 20);
            QVERIFY(std::equal(sent.begin(), sent.end(), out.end() - FrameBytes));
            framesWithGarbage += out.size() > sent.size() ? 1 : 0;
        } else if (garbage == 0) {
            // What survives a loss keeps its order.
            QVERIFY(std::is_sorted(out.begin(), out.end()));
            QVERIFY(std::includes(sent.begin(), sent.end(), out.begin(), out.end()));
        }
    }

    const double expectedRatio = (1.0 + garbage * MeanBurst / FrameBytes) * (1.0 - drop);
    const double ratio = double(bytesOut) / (double(Frames) * FrameBytes);
    QVERIFY2(std::abs(ratio - expectedRatio) < 0.02,
             qPrintable(QStringLiteral("%1 bytes out per frame byte, expected %2").arg(ratio).arg(expectedRatio)));
    if (drop == 0) {
        const double share = double(framesWithGarbage) / Frames;
        QVERIFY2(std::abs(share - garbage) < 0.01, qPrintable(QString::number(share)));
    }
}

// A seed repeats a run's faults exactly; another seed gives other faults.
void tst_LineNoise::sameSeedSameFaults()
{
    LineNoise first(0.3, 0.05, 42);
    LineNoise again(0.3, 0.05, 42);
    LineNoise other(0.3, 0.05, 43);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const std::vector<unsigned char> out = first.pass(frame());
        QVERIFY(again.pass(frame()) == out);
        differs = differs || other.pass(frame()) != out;
    }
    QVERIFY(differs);
}

QTEST_GUILESS_MAIN(tst_LineNoise)
#include "tst_linenoise.moc"
