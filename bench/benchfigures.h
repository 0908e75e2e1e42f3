#ifndef BENCHFIGURES_H
#define BENCHFIGURES_H

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <fstream>
#include <vector>
#include <unistd.h>

// Resident memory of this process in bytes, from /proc.
inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The value below which the given fraction of values lie (0.5: the median).
inline double percentile(std::vector<double> values, double fraction)
{
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

// The benchmarks need no screen: offscreen unless QT_QPA_PLATFORM says
// otherwise. Call before the application is made.
inline void offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

#endif // BENCHFIGURES_H
