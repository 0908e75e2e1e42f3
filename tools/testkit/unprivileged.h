#ifndef UNPRIVILEGED_H
#define UNPRIVILEGED_H

#include <grp.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

// Root ignores file permissions and exclusive opens, so checks of what an
// ordinary user meets run in a child process that becomes "nobody" first.
constexpr uid_t UnprivilegedId = 65534;

// Makes this process "nobody" if it runs as root; false when that failed.
inline bool becomeUnprivileged()
{
    if (geteuid() != 0)
        return true;
    if (setgroups(0, nullptr) != 0 || setgid(UnprivilegedId) != 0 || setuid(UnprivilegedId) != 0)
        return false;
    // A change of user makes the process undumpable, and LeakSanitizer,
    // which inspects the process from a helper thread, then fails it.
    prctl(PR_SET_DUMPABLE, 1);
    return true;
}

#endif // UNPRIVILEGED_H
