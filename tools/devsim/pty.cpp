// SPDX-License-Identifier: Apache-2.0
#include "devsim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvix::sim {
namespace {

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool Pty::Open(std::string* error) {
    Close();
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        SetError(error, "openpty");
        return false;
    }
    char name[256] = {};
    if (ptsname_r(master, name, sizeof name) != 0 || !MakeRaw(slave)) {
        SetError(error, "pty set-up");
        ::close(master);
        ::close(slave);
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    path_ = name;
    closeWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closeWatch_ >= 0 && inotify_add_watch(closeWatch_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) >= 0 &&
        pipe2(guardStop_, O_NONBLOCK | O_CLOEXEC) == 0) {
        guard_ = std::thread([this] { GuardExclusive(); });
    }
    // Without the watcher the line still works; only a user that sets exclusive mode cannot
    // open it a second time.
    return true;
}

void Pty::GuardExclusive() {
    for (;;) {
        pollfd fds[2] = {{closeWatch_, POLLIN, 0}, {guardStop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            char events[4096];
            while (::read(closeWatch_, events, sizeof events) > 0) {
            }
            ::ioctl(slave_, TIOCNXCL);
        }
    }
}

void Pty::DropUnreadOutput() {
    if (slave_ >= 0) tcflush(slave_, TCIFLUSH);
}

void Pty::Close() {
    if (guard_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] ssize_t n = ::write(guardStop_[1], &stop, 1);
        guard_.join();
    }
    for (int* fd : {&closeWatch_, &guardStop_[0], &guardStop_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
    path_.clear();
}

bool PathLink::Create(const std::string& linkPath, const std::string& target, std::string* error) {
    Remove();
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            SetError(error, "will not replace " + linkPath);
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
        SetError(error, "symlink " + linkPath);
        return false;
    }
    link_ = linkPath;
    target_ = target;
    return true;
}

void PathLink::Remove() {
    if (link_.empty()) return;
    char buf[4096];
    const ssize_t n = ::readlink(link_.c_str(), buf, sizeof buf - 1);
    // Someone else may have taken the name over meanwhile; leave theirs alone.
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target_) ::unlink(link_.c_str());
    link_.clear();
    target_.clear();
}

}  // namespace corvix::sim
