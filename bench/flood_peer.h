// SPDX-License-Identifier: Apache-2.0
// The flooding side of the flood benchmarks: random bytes written to a pty master as fast as
// it takes them, with the other side's requests drained so it never blocks on a full line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace corvix::bench {

class FloodPeer {
  public:
    // A pseudo-terminal for the flood: its master side, non-blocking, or -1 (said on stderr);
    // `slave` is the path the program under test opens.
    static int OpenMaster(std::string& slave) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("pty");
            return -1;
        }
        slave = ptsname(master);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        return master;
    }
    explicit FloodPeer(int master) : master_(master) {}
    // One round: fresh random bytes, the other side's requests read away, one write, and a
    // short wait for room. Returns the bytes written.
    std::size_t Round() {
        for (uint8_t& b : chunk_) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            b = static_cast<uint8_t>(state_);
        }
        while (read(master_, sink_, sizeof sink_) > 0) {
        }
        const ssize_t n = write(master_, chunk_, sizeof chunk_);
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 5);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

  private:
    int master_;
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
    uint8_t chunk_[4096], sink_[4096];
};

}  // namespace corvix::bench
