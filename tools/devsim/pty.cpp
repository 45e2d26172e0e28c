#include "devsim/pty.h"

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
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
    return true;
}

void Pty::DropUnreadOutput() {
    if (slave_ >= 0) tcflush(slave_, TCIFLUSH);
}

void Pty::Close() {
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
