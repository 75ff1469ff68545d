// Another process claiming a port with the fcntl record lock: a child that tries once, or one that takes
// the lock and holds it until told to let go.
#pragma once

#include "device/posix/LockFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace porttest {

// Whether another process could take the record lock on `path` now.
inline bool OtherProcessCanLock(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd >= 0 && TakeRecordLock(fd) ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A child process holding the record lock on a path from Start() until Release() or destruction.
class LockHolder {
public:
    ~LockHolder() { Release(); }
    // True once the child holds the lock.
    bool Start(const std::string& path) {
        int ready[2], hold[2];
        if (pipe(ready) != 0) {
            return false;
        }
        if (pipe(hold) != 0) {
            close(ready[0]);
            close(ready[1]);
            return false;
        }
        m_child = fork();
        if (m_child == 0) {
            close(ready[0]);
            close(hold[1]);
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char answer = fd >= 0 && TakeRecordLock(fd) ? 'y' : 'n';
            (void)!write(ready[1], &answer, 1);
            char ignored;
            (void)!read(hold[0], &ignored, 1); // returns when the parent closes its end
            _exit(0);
        }
        close(ready[1]);
        close(hold[0]);
        m_hold = hold[1];
        char answer = 'n';
        const bool told = m_child > 0 && read(ready[0], &answer, 1) == 1;
        close(ready[0]);
        return told && answer == 'y';
    }
    void Release() {
        if (m_hold >= 0) {
            close(m_hold);
            m_hold = -1;
        }
        if (m_child > 0) {
            int status = 0;
            waitpid(m_child, &status, 0);
            m_child = -1;
        }
    }

private:
    pid_t m_child = -1;
    int m_hold = -1;
};

} // namespace porttest
