#ifndef FRAMEBYTES_H
#define FRAMEBYTES_H

#include "framelayout.h"
#include "imusample.h"

#include <QByteArray>
#include <QList>

// What the serial tests send and expect: frames as bytes on the line, and
// samples as the six values they compare.

using Record = QList<int>; // an option record; empty: the settings never arrived
using Samples = QList<QList<int>>;

inline const Record dialogLayout{12, -1, -1, 55, 1};
inline const Record initialLayout{12, -1, -1, 37, 1};
inline const ImuSample a{1, 2, 3, 4, 5, 6};
inline const ImuSample b{-1, 1000, -1000, 12345, -12345, 7};

inline FrameLayout layoutOf(const Record &record)
{
    return record.isEmpty() ? FrameLayout() : FrameLayout::fromOptionFrame(record.constData());
}

inline QByteArray frame(const ImuSample &sample, const Record &record = dialogLayout)
{
    const auto bytes = layoutOf(record).encode(sample);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

inline QList<int> values(const ImuSample &s)
{
    return {s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ};
}

#endif // FRAMEBYTES_H
