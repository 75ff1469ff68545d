// Forced into every source of the Windows qolt (-include): the few POSIX names its shared sources use
// where the Windows runtime has the same calls under the same or similar names. Windows has no sockets as
// files, no non-blocking or controlling-terminal opens and no hang-up signal.
#pragma once

#ifndef _POSIX_THREAD_SAFE_FUNCTIONS
#define _POSIX_THREAD_SAFE_FUNCTIONS 200112L // localtime_r, gmtime_r
#endif

#include <fcntl.h>
#include <sys/stat.h>

#ifndef S_ISSOCK
#define S_ISSOCK(mode) 0
#endif
#ifndef S_ISBLK
#define S_ISBLK(mode) 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
// Never raised on Windows; the number POSIX gives it, so a report of it cannot be confused with another.
#ifndef SIGHUP
#define SIGHUP 1
#endif
// No symbolic links through the runtime's stat.
#ifndef lstat
#define lstat stat
#endif
