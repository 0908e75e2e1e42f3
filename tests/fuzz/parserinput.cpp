#include "parserinput.h"

#include "bytesource.h"
#include "framelayout.h"
#include "serialhandler.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int ReadCap = 256;
constexpr size_t HeaderBytes = 6;

// Waiting bytes held in memory behind the port's two operations, with one
// scripted fault at a time. Keeps what each read took for the reference.
class MemorySource final : public ByteSource
{
public:
    enum class Fault { None, Timeout, LossOnAsk, LossOnRead };

    Status dataAvailable() noexcept override
    {
        if (lost)
            return Status::DeviceLost;
        if (fault == Fault::LossOnAsk && faultAfter == 0)
            return fire();
        return pending.empty() ? Status::NoData : Status::Ok;
    }

    Status readByte(unsigned char &byte, unsigned int) noexcept override
    {
        if (lost)
            return Status::DeviceLost;
        if (fault != Fault::None && faultAfter == 0)
            return fire();
        if (pending.empty())
            return Status::NoData;
        byte = pending.front();
        pending.pop_front();
        taken.push_back(byte);
        if (fault != Fault::None)
            --faultAfter;
        return Status::Ok;
    }

    void arm(Fault kind, int after)
    {
        fault = kind;
        faultAfter = after;
    }

    std::deque<unsigned char> pending;
    std::vector<unsigned char> taken;
    bool lost = false;
    bool faultFired = false;

private:
    Status fire()
    {
        faultFired = true;
        const Fault fired = fault;
        fault = Fault::None;
        if (fired == Fault::Timeout)
            return Status::NoData;
        lost = true;
        return Status::DeviceLost;
    }

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

    // One read that took the bytes taken from the port: the sample of the
    // newest whole frame among the bytes kept from the read before and
    // those taken, or none when there is no such frame or the layout has too
    // few data bytes to carry one. Keeps what follows that frame (or, with
    // no frame, the newest bytes), at most length - 1 bytes, for the next
    // read.
    std::optional<ImuSample> read(const std::vector<unsigned char> &taken)
    {
        std::vector<unsigned char> bytes = kept;
        bytes.insert(bytes.end(), taken.begin(), taken.end());
        int frameEnd = 0;
        std::optional<ImuSample> sample;
        for (int start = int(bytes.size()) - length; possible && start >= 0; --start) {
            const unsigned char *window = bytes.data() + start;
            const bool whole = std::all_of(markers.begin(), markers.end(),
                                           [&](const Marker &mk) { return window[mk.offset] == mk.value; });
            if (!whole)
                continue;
            frameEnd = start + length;
            if (int(sampleOffsets.size()) == FrameLayout::SampleBytes) {
                const auto pair = [&](int k) {
                    return int16_t(uint16_t(window[sampleOffsets[2 * k]] << 8 | window[sampleOffsets[2 * k + 1]]));
                };
                sample = ImuSample{pair(3), pair(4), pair(5), pair(0), pair(1), pair(2)};
            }
            break;
        }
        const int keep = std::min(int(bytes.size()) - frameEnd, std::max(length - 1, 0));
        kept.assign(bytes.end() - keep, bytes.end());
        return sample;
    }

    // The line went away: nothing of it carries over.
    void forget() { kept.clear(); }

private:
    struct Marker
    {
        int offset;
        int value;
    };
    int length = 0;
    bool possible = true;
    std::vector<Marker> markers;
    std::vector<int> sampleOffsets;
    std::vector<unsigned char> kept;
};

QString describe(const std::optional<ImuSample> &s)
{
    if (!s)
        return QStringLiteral("no sample");
    return QStringLiteral("(%1, %2, %3, %4, %5, %6)")
        .arg(s->accX).arg(s->accY).arg(s->accZ).arg(s->gyroX).arg(s->gyroY).arg(s->gyroZ);
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

    serialhandler reader;
    reader.updateOptions(record);
    auto owned = std::make_unique<MemorySource>();
    MemorySource *source = owned.get();
    reader.attachByteSource(std::move(owned));

    std::vector<ImuSample> emitted;
    QObject::connect(&reader, &serialhandler::SendData,
                     [&](int16_t a0, int16_t a1, int16_t a2, int16_t g0, int16_t g1, int16_t g2) {
                         emitted.push_back(ImuSample{a0, a1, a2, g0, g1, g2});
                     });

    int reads = 0;
    auto readOnce = [&]() -> QString {
        const size_t waiting = source->pending.size();
        source->taken.clear();
        source->faultFired = false;
        emitted.clear();
        reader.readSerial();
        ++reads;

        const size_t took = source->taken.size();
        if (took > size_t(ReadCap))
            return QStringLiteral("read %1 took %2 bytes").arg(reads).arg(took);
        if (!source->lost && !source->faultFired && took != std::min(waiting, size_t(ReadCap)))
            return QStringLiteral("read %1 took %2 of %3 waiting bytes").arg(reads).arg(took).arg(waiting);
        if (emitted.size() > 1)
            return QStringLiteral("read %1 emitted %2 samples").arg(reads).arg(emitted.size());
        std::optional<ImuSample> expected;
        if (source->lost)
            reference.forget();
        else
            expected = reference.read(source->taken);
        const std::optional<ImuSample> got =
            emitted.empty() ? std::nullopt : std::optional<ImuSample>(emitted.front());
        if (got != expected)
            return QStringLiteral("read %1 of %2 bytes emitted %3, expected %4")
                .arg(reads).arg(took).arg(describe(got), describe(expected));
        return {};
    };

    size_t at = HeaderBytes;
    while (at < size) {
        const uint8_t code = data[at++];
        if (code < 252) {
            const size_t count = code < 240 ? code : size_t(code - 239) * 64;
            const size_t end = std::min(size, at + count);
            source->pending.insert(source->pending.end(), data + at, data + end);
            at = end;
        } else if (code == 252 || code == 253) {
            const int after = at < size ? data[at++] : 0;
            if (code == 252)
                source->arm(MemorySource::Fault::Timeout, after);
            else
                source->arm(after % 2 == 0 ? MemorySource::Fault::LossOnAsk : MemorySource::Fault::LossOnRead, after);
        } else if (code == 255) {
            source->lost = true;
        }
        if (QString problem = readOnce(); !problem.isEmpty())
            return problem;
    }
    // Every read that found bytes waiting took some (or the check above
    // failed), so this ends.
    do {
        if (QString problem = readOnce(); !problem.isEmpty())
            return problem;
    } while (!source->lost && !source->pending.empty());
    return readOnce();
}
