#include "device/posix/PortSettings.h"

#include <termios.h>

bool ConfigurePort(int descriptor) {
    termios settings{};
    if (tcgetattr(descriptor, &settings) != 0) {
        return false;
    }
    settings.c_iflag |= IGNPAR;
    settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
    // Character size, parity and receiver enable stay as found.
    settings.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
    settings.c_lflag = 0;
    settings.c_cc[VEOF] = 4;
    // VMIN and VTIME stay as found: the port is non-blocking, reads never wait.
    if (cfsetospeed(&settings, B115200) != 0) {
        return false;
    }
    return tcsetattr(descriptor, TCSANOW, &settings) == 0;
}
