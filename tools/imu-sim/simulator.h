#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "simoptions.h"

#include <csignal>

// One run of the simulated sensor, as options ask: makes the line (and the
// link to it), prints the device path alone on standard output, then sends
// frames until the count, the run time or the samples run out, or *stop is
// set, or the line is hung up. Reports to standard error, one line each.
// Returns the program's exit status: 0 after a run, 1 when the line cannot
// be made or refuses the bytes.
int runSimulator(const SimOptions &options, const volatile std::sig_atomic_t *stop);

#endif // SIMULATOR_H
