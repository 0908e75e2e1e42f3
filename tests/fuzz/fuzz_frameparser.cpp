// libFuzzer entry point: every input is a frame layout and a stream of bytes
// and port events fed to the frame parser; see parserinput.h for the format
// and for what is checked on each read.

#include "parserinput.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = runParserInput(data, size);
    if (!problem.isEmpty()) {
        // A wrong result is a finding like a crash: abort so that libFuzzer
        // keeps the input.
        std::fprintf(stderr, "wrong result: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
