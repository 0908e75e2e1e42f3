#ifndef FRAMELAYOUT_H
#define FRAMELAYOUT_H

#include "imusample.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The layout of one message frame on the serial line: up to two start bytes,
// dataByteCount data bytes, up to two end bytes. The markers sit at fixed
// offsets of the frame whichever of them are switched on: start byte 1 at 0,
// start byte 2 at 1, end byte 1 at length - 2, end byte 2 at length - 1.
// Every other offset holds a data byte.
//
// The first twelve data bytes carry the sample as six big-endian two's
// complement 16-bit values, gyroscope X, Y, Z first, then acceleration X, Y, Z.
struct FrameLayout
{
    static constexpr int Off = -1;        // marker value meaning "switched off"
    static constexpr int SampleBytes = 12;
    static constexpr int MaxFrameLength = 1 << 20;

    // Two defaults, both of 14-byte frames. These member values are the
    // reader's: its layout from start-up until the settings dialog is first
    // accepted (end byte 37). formDefault() is the dialog's (end byte 55).
    int dataByteCount = SampleBytes;
    int startByte1 = Off;
    int startByte2 = Off;
    int endByte1 = 37;
    int endByte2 = 1;

    // Builds a layout from the five-entry option record {data byte count,
    // start byte 1, start byte 2, end byte 1, end byte 2}. The entries are
    // taken unchecked; a marker that is not -1 is switched on even if no byte
    // can ever match it.
    static FrameLayout fromOptionFrame(const int *optionFrame);

    // The layout of the settings dialog's untouched form, and so of every
    // sensor set up as the dialog suggests: twelve data bytes, no start
    // bytes, end bytes 55 and 1.
    static FrameLayout formDefault();

    bool operator==(const FrameLayout &other) const;
    bool operator!=(const FrameLayout &other) const { return !(*this == other); }

    // True when at least one start or end byte is switched on: without any,
    // nothing tells a frame from the bytes around it.
    bool hasMarkers() const
    {
        return startByte1 != Off || startByte2 != Off || endByte1 != Off || endByte2 != Off;
    }

    // The data byte count plus one for each switched-on marker, clamped to
    // 0..MaxFrameLength for nonsensical records; no frame matches a length 0.
    int frameLength() const;

    // True when the frameLength() bytes at window form a frame of this layout:
    // every switched-on marker equals the byte at its offset (compared as
    // 0..255). Always false when length is not frameLength() or a marker's
    // offset falls outside the frame.
    bool matches(const unsigned char *window, int length) const;

    // Offsets within the frame of the twelve bytes that carry the sample, or
    // nothing when the layout has fewer than twelve data bytes.
    std::optional<std::array<int, SampleBytes>> sampleOffsets() const;

    // Decodes the sample of the frame that starts at window. length is the
    // number of readable bytes there; it may be shorter than the frame as
    // long as it covers the sample bytes. Nothing when it does not, or when
    // the layout has fewer than twelve data bytes.
    std::optional<ImuSample> decode(const unsigned char *window, int length) const;

    // Builds one whole frame carrying sample; data bytes after the twelfth
    // are zero. Empty when no frame of this layout can carry a sample: fewer
    // than twelve data bytes, a marker value outside 0..255 or outside the
    // frame, or two markers at one offset with different values.
    std::vector<unsigned char> encode(const ImuSample &sample) const;

private:
    struct Marker
    {
        int value;
        int offset;
    };
    std::array<Marker, 4> markers() const;
    bool isMarkerOffset(int offset) const;
};

#endif // FRAMELAYOUT_H
