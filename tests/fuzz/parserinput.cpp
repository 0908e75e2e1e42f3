#include "parserinput.h"

#include "framelayout.h"
#include "frameparser.h"

#include <QStringList>

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

namespace {

// What the serial reader takes from the port at most in one read.
constexpr size_t ReadCap = 4096;
constexpr size_t HeaderBytes = 6;

// The bytes waiting at the port and one scripted fault at a time, handed
// over as the serial reader takes them: more than ReadCap waiting, it drops
// the oldest first; it takes what waits, up to ReadCap, and a read that
// ends in a time-out keeps what it took, one that finds the device gone
// keeps nothing.
class MemoryPort
{
public:
    enum class Fault { None, Timeout, LossOnAsk, LossOnRead };

    void arm(Fault kind, int after)
    {
        fault = kind;
        faultAfter = after;
    }

    // Drops what waits beyond ReadCap; true when any went.
    bool dropBeyondCap()
    {
        if (lost || pending.size() <= ReadCap)
            return false;
        pending.erase(pending.begin(), pending.end() - ReadCap);
        return true;
    }

    // The bytes of one read into taken; false when the device went away.
    bool read(std::vector<unsigned char> &taken)
    {
        taken.clear();
        while (!lost && taken.size() < ReadCap) {
            // The reader asks whether a byte waits, then reads it; a fault
            // comes once faultAfter bytes have been read since it was armed.
            const bool due = fault != Fault::None && faultAfter == 0;
            if (due && fault == Fault::LossOnAsk)
                lost = true;
            else if (pending.empty())
                break;
            else if (due) {
                lost = fault == Fault::LossOnRead;
                fault = Fault::None;
                break;
            } else {
                taken.push_back(pending.front());
                pending.pop_front();
                faultAfter -= fault != Fault::None ? 1 : 0;
            }
        }
        return !lost;
    }

    std::deque<unsigned char> pending;
    bool lost = false;

private:
    Fault fault = Fault::None;
    int faultAfter = 0;
};

// The frame layout worked out on its own, so that a fault in the parser or
// in FrameLayout shows as a disagreement: markers at offsets 0, 1, L-2 and
// L-1 of an L-byte frame, the sample in the first twelve other offsets as
// big-endian pairs, gyroscope X, Y, Z before acceleration X, Y, Z.
class Reference
{
public:
    explicit Reference(const int record[5])
    {
        for (int m = 0; m < 4; ++m)
            on[m] = record[m + 1] != -1;
        for (int m = 0; m < 4; ++m)
            value[m] = record[m + 1];
        length = record[0];
        for (int m = 1; m < 5; ++m)
            length += record[m] != -1 ? 1 : 0;
        const int offsets[4] = {0, 1, length - 2, length - 1};
        for (int m = 0; m < 4; ++m) {
            if (record[m + 1] == -1)
                continue;
            // A marker whose offset lies outside the frame: no frame at all.
            if (offsets[m] < 0 || offsets[m] >= length)
                possible = false;
            else
                markers.push_back({offsets[m], record[m + 1]});
        }
        possible = possible && length >= 1;
        for (int offset = 0; offset < length && int(sampleOffsets.size()) < FrameLayout::SampleBytes; ++offset) {
            const bool marker = std::any_of(markers.begin(), markers.end(),
                                            [&](const Marker &mk) { return mk.offset == offset; });
            if (!marker)
                sampleOffsets.push_back(offset);
        }
    }

    // One read that took the bytes taken from the port; the line is every
    // byte since it was opened or since bytes were thrown away. Each window
    // is judged once, when its last byte (or, with start bytes only, the
    // start bytes of the frame after it) has come: it is a frame when its
    // markers match, it does not begin inside a frame found before, and with
    // end bytes on it follows the end bytes of a frame or begins the line or
    // holds no other end bytes, or with start bytes only the next frame's
    // start bytes follow it or it holds no other start bytes. Returns the
    // samples of every frame the read completed, oldest first, each with
    // where its last byte lies among the bytes taken (counted from 1; zero
    // or below for a frame of an earlier read); none when the layout has
    // too few data bytes.
    std::vector<FrameParser::Frame> read(const std::vector<unsigned char> &taken)
    {
        const int before = int(line.size());
        const bool endBytes = on[2] || on[3];
        const bool startOnly = !endBytes && (on[0] || on[1]);
        const int lookahead = startOnly ? (on[1] ? 2 : 1) : 0;
        std::vector<FrameParser::Frame> frames;
        for (unsigned char byte : taken) {
            line.push_back(byte);
            noteMarker(endBytes, startOnly);
            const int start = int(line.size()) - lookahead - length;
            if (!possible || start < notBefore || !markersAt(start))
                continue;
            // Right after the last frame, at the very start of the line, right
            // after end bytes, or with start bytes only right before the next
            // start bytes: the frame goes out at once. Any other waits for one
            // right after it, and then both count; on a line seen losing bytes
            // only one after a lone end byte of two waits.
            const bool lineBegins = (start == 0 && lineStart) || start == lastFrameEnd;
            bool follows = lineBegins;
            bool placed = true;
            bool afterEndByte = false;
            if (endBytes && !lineBegins) {
                placed = endBytesEndAt(start - 1) || !anyEndBytes(start, start + length - 1);
                follows = endBytesEndAt(start - 1);
                afterEndByte = placed && oneEndByteAt(start - 1);
            } else if (startOnly) {
                follows = lineBegins || startBytesAt(start + length);
                placed = startBytesAt(start + length) || !anyStartBytes(start + 1, start + length - 1);
            } else if (!endBytes) {
                follows = true;
            }
            if (!placed)
                continue;
            lastFrameEnd = start + length;
            notBefore = lastFrameEnd;
            std::optional<ImuSample> sample;
            if (int(sampleOffsets.size()) >= FrameLayout::SampleBytes)
                sample = decode(line.data() + start);
            // Six of the last eight markers the same distance apart, other
            // than a frame's length: the line has another layout, and
            // nothing found by this one counts.
            if (otherLayout()) {
                waiting = false;
                continue;
            }
            if (!follows) {
                waiting = afterEndByte || !losing();
                waitingSample = sample;
                waitingEnd = lastFrameEnd;
                continue;
            }
            if (waiting && waitingSample)
                frames.push_back({*waitingSample, waitingEnd - before});
            waiting = false;
            if (sample)
                frames.push_back({*sample, lastFrameEnd - before});
        }
        return frames;
    }

    // Notes the distance from the last marker when the byte just added
    // completes one: end bytes, or with start bytes only start bytes.
    void noteMarker(bool endBytes, bool startOnly)
    {
        const int at = int(line.size()) - 1;
        bool marker = false;
        if (endBytes)
            marker = endBytesEndAt(at);
        else if (startOnly) {
            const int first = at - (on[1] ? 1 : 0);
            marker = first >= 0 && startBytesAt(first);
        }
        if (!marker)
            return;
        if (lastMarker >= 0) {
            spacings.push_back(at - lastMarker);
            sinceShort = at - lastMarker < length ? 0 : sinceShort + 1;
        }
        lastMarker = at;
    }

    // Markers closer than a frame's length among the last 64 since the port
    // opened.
    bool losing() const { return sinceShort < 64; }

    bool otherLayout() const
    {
        if (spacings.size() < 8)
            return false;
        const std::vector<int> last(spacings.end() - 8, spacings.end());
        for (int spacing : last)
            if (spacing != length && std::count(last.begin(), last.end(), spacing) >= 6)
                return true;
        return false;
    }

    // Bytes were thrown away or the line went away: nothing read so far
    // joins what comes next.
    void forget()
    {
        line.clear();
        notBefore = 0;
        lastFrameEnd = -1;
        lineStart = false;
        waiting = false;
        lastMarker = -1;
        spacings.clear();
    }

private:
    struct Marker
    {
        int offset;
        int value;
    };

    ImuSample decode(const unsigned char *window) const
    {
        const auto pair = [&](int k) {
            return int16_t(uint16_t(window[sampleOffsets[2 * k]] << 8 | window[sampleOffsets[2 * k + 1]]));
        };
        return ImuSample{pair(3), pair(4), pair(5), pair(0), pair(1), pair(2)};
    }

    int length = 0;
    bool possible = true;
    std::vector<Marker> markers;
    bool markersAt(int start) const
    {
        return start >= 0 && std::all_of(markers.begin(), markers.end(), [&](const Marker &mk) {
            return line[size_t(start + mk.offset)] == mk.value;
        });
    }

    bool endBytesEndAt(int end) const
    {
        if (on[3] && (end < 0 || line[size_t(end)] != value[3]))
            return false;
        if (on[2] && (end < 1 || line[size_t(end - 1)] != value[2]))
            return false;
        return true;
    }

    // End bytes of a frame that could end anywhere in [from, to): a byte
    // before the line is unknown and could be one.
    bool anyEndBytes(int from, int to) const
    {
        // Or an end byte value among the first four bytes that are no marker
        // of the window itself.
        for (int at = from; at < from + 4 && at < to - 1; ++at)
            if ((on[2] && line[size_t(at)] == value[2]) || (on[3] && line[size_t(at)] == value[3]))
                return true;
        for (int end = from; end < to; ++end) {
            const bool second = !on[3] || line[size_t(end)] == value[3];
            const bool first = !on[2] || end < 1 || line[size_t(end - 1)] == value[2];
            if (second && first)
                return true;
        }
        return false;
    }

    bool oneEndByteAt(int at) const
    {
        return on[2] && on[3] && at >= 0 && (line[size_t(at)] == value[2] || line[size_t(at)] == value[3]);
    }

    bool startBytesAt(int start) const
    {
        return (!on[0] || line[size_t(start)] == value[0])
            && (!on[1] || line[size_t(start + 1)] == value[1]);
    }

    // Start bytes of a frame that begins anywhere in [from, to], or a start
    // byte value among the last four bytes up to to that are no marker of
    // the window beginning at from - 1.
    bool anyStartBytes(int from, int to) const
    {
        for (int at = std::max(to - 3, from + 1); at <= to; ++at)
            if ((on[0] && line[size_t(at)] == value[0]) || (on[1] && line[size_t(at)] == value[1]))
                return true;
        for (int start = from; start <= to; ++start)
            if (startBytesAt(start))
                return true;
        return false;
    }

    bool on[4];
    int value[4];
    std::vector<int> sampleOffsets;
    std::vector<unsigned char> line;
    int notBefore = 0;
    int lastFrameEnd = -1;
    bool lineStart = true;
    bool waiting = false;
    std::optional<ImuSample> waitingSample;
    int waitingEnd = 0;
    int lastMarker = -1;
    std::vector<int> spacings;
    int sinceShort = 64;
};

QString describe(const std::vector<FrameParser::Frame> &frames)
{
    if (frames.empty())
        return QStringLiteral("no sample");
    QStringList each;
    for (const FrameParser::Frame &f : frames) {
        const ImuSample &s = f.sample;
        each << QStringLiteral("(%1, %2, %3, %4, %5, %6 ending at %7)")
                    .arg(s.accX).arg(s.accY).arg(s.accZ).arg(s.gyroX).arg(s.gyroY).arg(s.gyroZ).arg(f.end);
    }
    return each.join(QLatin1Char(' '));
}

bool sameFrames(const std::vector<FrameParser::Frame> &a, const std::vector<FrameParser::Frame> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto &x, const auto &y) {
        return x.sample == y.sample && x.end == y.end;
    });
}

} // namespace

QString runParserInput(const uint8_t *data, size_t size)
{
    if (size < HeaderBytes)
        return {};
    int record[5] = {data[0] % 100, -1, -1, -1, -1};
    for (int m = 0; m < 4; ++m) {
        if (data[1] & (1 << m))
            record[m + 1] = data[2 + m];
    }
    Reference reference(record);
    FrameParser parser(FrameLayout::fromOptionFrame(record));
    MemoryPort port;

    int reads = 0;
    std::vector<unsigned char> taken;
    auto readOnce = [&]() -> QString {
        ++reads;
        // Bytes thrown away, or a line that went away mid-read: nothing read
        // so far joins what comes next.
        if (port.dropBeyondCap()) {
            parser.restart(false);
            reference.forget();
        }
        if (!port.read(taken)) {
            parser.restart(false);
            reference.forget();
            return {};
        }
        const std::vector<FrameParser::Frame> got = parser.feed(taken.data(), int(taken.size())).frames;
        const std::vector<FrameParser::Frame> expected = reference.read(taken);
        if (!sameFrames(got, expected))
            return QStringLiteral("read %1 of %2 bytes gave %3, expected %4")
                .arg(reads).arg(taken.size()).arg(describe(got), describe(expected));
        return {};
    };

    size_t at = HeaderBytes;
    while (at < size) {
        const uint8_t code = data[at++];
        if (code < 240) {
            const size_t end = std::min(size, at + code);
            port.pending.insert(port.pending.end(), data + at, data + end);
            at = end;
        } else if (code < 252) {
            // A long run of the line: a pattern over and over.
            const size_t patternLength = at < size ? data[at++] : 0;
            const size_t end = std::min(size, at + patternLength);
            const size_t count = size_t(code - 239) * 512;
            for (size_t k = 0; k < count; ++k)
                port.pending.push_back(end > at ? data[at + k % (end - at)] : 0);
            at = end;
        } else if (code == 252 || code == 253) {
            const int after = at < size ? data[at++] : 0;
            if (code == 252)
                port.arm(MemoryPort::Fault::Timeout, after);
            else
                port.arm(after % 2 == 0 ? MemoryPort::Fault::LossOnAsk : MemoryPort::Fault::LossOnRead, after);
        } else if (code == 255) {
            port.lost = true;
        }
        if (QString problem = readOnce(); !problem.isEmpty())
            return problem;
    }
    // Every read takes what waits, or the line is gone, so this ends.
    do {
        if (QString problem = readOnce(); !problem.isEmpty())
            return problem;
    } while (!port.lost && !port.pending.empty());
    return readOnce();
}
