#include "framelayout.h"

#include <algorithm>

FrameLayout FrameLayout::fromOptionFrame(const int *optionFrame)
{
    FrameLayout layout;
    layout.dataByteCount = optionFrame[0];
    layout.startByte1 = optionFrame[1];
    layout.startByte2 = optionFrame[2];
    layout.endByte1 = optionFrame[3];
    layout.endByte2 = optionFrame[4];
    return layout;
}

FrameLayout FrameLayout::formDefault()
{
    return FrameLayout{SampleBytes, Off, Off, 55, 1};
}

bool FrameLayout::operator==(const FrameLayout &other) const
{
    return dataByteCount == other.dataByteCount && startByte1 == other.startByte1
        && startByte2 == other.startByte2 && endByte1 == other.endByte1 && endByte2 == other.endByte2;
}

int FrameLayout::frameLength() const
{
    long long length = dataByteCount;
    for (int value : {startByte1, startByte2, endByte1, endByte2})
        length += value != Off ? 1 : 0;
    // Records outside any sensible range (they come from outside) are kept
    // far from int overflow; no frame fits them anyway.
    return static_cast<int>(std::clamp(length, 0LL, static_cast<long long>(MaxFrameLength)));
}

std::array<FrameLayout::Marker, 4> FrameLayout::markers() const
{
    const int length = frameLength();
    return {{{startByte1, 0}, {startByte2, 1}, {endByte1, length - 2}, {endByte2, length - 1}}};
}

bool FrameLayout::isMarkerOffset(int offset) const
{
    for (const Marker &marker : markers()) {
        if (marker.value != Off && marker.offset == offset)
            return true;
    }
    return false;
}

bool FrameLayout::matches(const unsigned char *window, int length) const
{
    if (length < 1 || length != frameLength())
        return false;
    for (const Marker &marker : markers()) {
        if (marker.value == Off)
            continue;
        // With too few data bytes a marker's offset can fall outside the
        // frame (no data bytes and only start byte 2: a one-byte frame with
        // its marker at offset 1); such a layout describes no frame at all.
        if (marker.offset < 0 || marker.offset >= length || window[marker.offset] != marker.value)
            return false;
    }
    return true;
}

std::optional<std::array<int, FrameLayout::SampleBytes>> FrameLayout::sampleOffsets() const
{
    std::array<int, SampleBytes> offsets{};
    int found = 0;
    const int length = frameLength();
    for (int offset = 0; offset < length && found < SampleBytes; ++offset) {
        if (!isMarkerOffset(offset))
            offsets[found++] = offset;
    }
    if (found < SampleBytes)
        return std::nullopt;
    return offsets;
}

std::optional<ImuSample> FrameLayout::decode(const unsigned char *window, int length) const
{
    const auto offsets = sampleOffsets();
    if (!offsets || offsets->back() >= length)
        return std::nullopt;
    const auto value = [&](int pair) {
        const unsigned int high = window[(*offsets)[2 * pair]];
        const unsigned int low = window[(*offsets)[2 * pair + 1]];
        return static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low));
    };
    // The wire carries the gyroscope first.
    ImuSample sample;
    sample.gyroX = value(0);
    sample.gyroY = value(1);
    sample.gyroZ = value(2);
    sample.accX = value(3);
    sample.accY = value(4);
    sample.accZ = value(5);
    return sample;
}

std::vector<unsigned char> FrameLayout::encode(const ImuSample &sample) const
{
    const auto offsets = sampleOffsets();
    if (!offsets)
        return {};
    const int length = frameLength();
    std::vector<unsigned char> frame(static_cast<size_t>(length), 0);
    for (const Marker &marker : markers()) {
        if (marker.value == Off)
            continue;
        if (marker.value < 0 || marker.value > 255 || marker.offset < 0 || marker.offset >= length)
            return {};
        frame[static_cast<size_t>(marker.offset)] = static_cast<unsigned char>(marker.value);
    }
    const int16_t wire[] = {sample.gyroX, sample.gyroY, sample.gyroZ,
                            sample.accX, sample.accY, sample.accZ};
    for (int pair = 0; pair < 6; ++pair) {
        const auto bits = static_cast<uint16_t>(wire[pair]);
        frame[static_cast<size_t>((*offsets)[2 * pair])] = static_cast<unsigned char>(bits >> 8);
        frame[static_cast<size_t>((*offsets)[2 * pair + 1])] = static_cast<unsigned char>(bits & 0xFF);
    }
    // Two markers sharing an offset with different values cannot both hold.
    if (!matches(frame.data(), length))
        return {};
    return frame;
}
