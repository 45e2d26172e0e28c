// SPDX-License-Identifier: Apache-2.0
// Line rates through termios2. Kept in a file of its own: the kernel's termios header, which
// defines termios2 and BOTHER, cannot be included together with the C library's <termios.h>.
#include "link/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace corvix {

bool SetLineSpeed(int fd, int baud) {
    if (fd < 0 || baud <= 0) return false;  // rate 0 would hang the line up
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    // Input bits 0: the input rate follows the output rate, also after a later switch back to
    // a standard rate through the C library.
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER;
    t.c_ospeed = static_cast<speed_t>(baud);
    t.c_ispeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &t) != 0) return false;
    return LineSpeedClose(LineSpeed(fd), baud);
}

int LineSpeed(int fd, bool input) {
    termios2 t{};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &t) != 0) return 0;
    const speed_t rate = input ? t.c_ispeed : t.c_ospeed;
    return rate > 0x7FFFFFFFu ? 0 : static_cast<int>(rate);
}

bool LineSpeedClose(int programmed, int wanted) {
    if (programmed <= 0 || wanted <= 0) return false;
    return static_cast<long long>(std::llabs(static_cast<long long>(programmed) - wanted)) * 50 <= wanted;
}

}  // namespace corvix
