// SPDX-License-Identifier: Apache-2.0
// Any integer line rate, through the kernel's termios2 and BOTHER, for rates the C library's
// B constants do not name (14400, 250000, ...). Plain ints only, so that this header mixes
// with <termios.h>.
#pragma once

namespace corvix {

// Programs `baud` both ways on the tty `fd`, leaving every other line setting alone. False
// when the rate is 0 or less, the driver refuses it, or it programs a rate not close to it.
bool SetLineSpeed(int fd, int baud);
// The rate the tty's line is programmed with (output, or input), as the driver reports it,
// also for a rate set through a B constant. On a pseudo-terminal's master side, the rate of
// its slave. 0 when `fd` is no tty.
int LineSpeed(int fd, bool input = false);
// Within 2 % of the wanted rate: the driver's nearest divisor still talks to the device (the
// kernel uses the same margin when it names a programmed rate by a B constant).
bool LineSpeedClose(int programmed, int wanted);

}  // namespace corvix
