#ifndef RESIDENTMEMORY_H
#define RESIDENTMEMORY_H

#include <fstream>
#include <unistd.h>

// Resident memory of this process in bytes, from /proc.
inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

#endif // RESIDENTMEMORY_H
