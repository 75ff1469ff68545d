#include "sim/PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qoltsim {

namespace {

std::string Describe(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

bool PseudoTerminal::Open(const std::string& linkPath, std::string& error) {
    Close();
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = Describe("posix_openpt", errno);
        return false;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        error = Describe("grantpt/unlockpt/ptsname", errno);
        close(master);
        return false;
    }
    const int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Describe("fcntl O_NONBLOCK", errno);
        close(master);
        return false;
    }
    int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        error = Describe("open slave", errno);
        close(master);
        return false;
    }
    termios tio;
    if (tcgetattr(slave, &tio) != 0) {
        error = Describe("tcgetattr", errno);
        close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(slave, TCSANOW, &tio) != 0) {
        error = Describe("tcsetattr", errno);
        close(slave);
        close(master);
        return false;
    }
    // Replace a link left behind by an earlier run, but never anything that is not a link.
    struct stat st;
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link";
            close(slave);
            close(master);
            return false;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(name, linkPath.c_str()) != 0) {
        error = Describe(("symlink " + linkPath).c_str(), errno);
        close(slave);
        close(master);
        return false;
    }
    master_ = master;
    slaveHold_ = slave;
    slavePath_ = name;
    linkPath_ = linkPath;
    return true;
}

void PseudoTerminal::Close() {
    if (!linkPath_.empty()) {
        unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (slaveHold_ >= 0) {
        close(slaveHold_);
        slaveHold_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    slavePath_.clear();
}

} // namespace qoltsim
