// libFuzzer entry point: every input is a frame layout and a stream of bytes
// and port events fed to the serial reader; see parserinput.h for the format
// and for what is checked on each read.

#include "parserinput.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader writes a debug line or two per read, millions of reads here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

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
