#ifndef LOGINPUT_H
#define LOGINPUT_H

#include <QString>

#include <cstddef>
#include <cstdint>

// Reads one input as a log file, as the recording loader reads files, and
// checks what comes out. Returns an empty string when all was right, else
// what went wrong first. Shared by the fuzzer and by the test that replays
// kept inputs.
//
// Input format (an input shorter than two bytes does nothing):
//   bytes 0-1   the piece size, 1 + (byte 0 + 256 * byte 1) % 4096
//   then        the file's bytes
//
// The file is read twice, through the recording builder: whole, and in
// pieces of that size, each from the bytes the loader would read for it
// (LogReader::windowOf). Both must give the same samples, times, lines of
// samples, counts and first problems. Every line is counted once. Each
// sample read must be its line's: the data line written again for it reads
// back the same. The times never fall, and the search for the first sample
// at or after a key (SampleKeys) agrees with a plain scan for the key of
// every sample and the keys between them.
QString runLogInput(const uint8_t *data, size_t size);

#endif // LOGINPUT_H
