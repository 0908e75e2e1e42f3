#ifndef SAMPLESOURCE_H
#define SAMPLESOURCE_H

#include "imusample.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

// Where the simulated sensor's samples come from.
class SampleSource
{
public:
    virtual ~SampleSource() = default;
    // The next sample, or nothing when the source has run out.
    virtual std::optional<ImuSample> next() = 0;
};

// The monitor's test-mode waves, from n = 0 on, without end.
class WaveSource final : public SampleSource
{
public:
    std::optional<ImuSample> next() override;

private:
    int n = 0;
};

// The samples of a log file written by the monitor, in file order.
class ReplaySource final : public SampleSource
{
public:
    // Reads the whole file, a log file as the monitor writes it; header
    // lines (one begins each run of lines) and empty lines are skipped. Returns
    // nothing, with one line in *error, when the file cannot be read, a line
    // is not a log line, or no sample is found.
    static std::unique_ptr<ReplaySource> load(const QString &path, QString *error);

    std::optional<ImuSample> next() override;

private:
    explicit ReplaySource(std::vector<ImuSample> samples);

    std::vector<ImuSample> samples;
    size_t position = 0;
};

#endif // SAMPLESOURCE_H
