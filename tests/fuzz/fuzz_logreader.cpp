// libFuzzer entry point: every input is a log file read whole and in
// pieces; see loginput.h for the format and for what is checked.

#include "loginput.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = runLogInput(data, size);
    if (!problem.isEmpty()) {
        // A wrong result is a finding like a crash: abort so that libFuzzer
        // keeps the input.
        std::fprintf(stderr, "wrong result: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
