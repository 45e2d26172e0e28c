// SPDX-License-Identifier: Apache-2.0
#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "link/line_speed.h"
#include "link/port_lock.h"

namespace corvix {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

Clock::time_point WriteDeadline(std::size_t length) {
    // The length is at most the 1024-byte transmit buffer; keep the product bounded anyway.
    const auto perByte = static_cast<long long>(std::min<std::size_t>(length, 1u << 20));
    return Clock::now() + std::chrono::milliseconds(perByte * WriteTimeoutPerByteMs + WriteTimeoutConstantMs);
}

namespace {

struct BaudEntry {
    int rate;
    speed_t code;
};

// Rates termios names with a B constant, programmed with cfsetspeed; any other rate goes
// through termios2 (line_speed.h).
constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool BaudCode(int rate, speed_t& code) {
    for (const auto& e : kBaudRates) {
        if (e.rate == rate) {
            code = e.code;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* StopBitsText(int stopBits) {
    switch (stopBits) {
        case StopBits1:
            return "1";
        case StopBits1_5:
            return "1.5";
        case StopBits2:
            return "2";
        default:
            return "";
    }
}

const char* ParityStatusText(int parity) {
    switch (parity) {
        case ParityNone:
            return "None";
        case ParityEven:
            return "EVEN";
        case ParityOdd:
            return "ODD";
        default:
            return "";
    }
}

// ---------------------------------------------------------------------------------------
// PosixSerialPort

PosixSerialPort::~PosixSerialPort() { Close(); }

bool PosixSerialPort::Open(const std::string& path) {
    Close();
    lastOpenHolder_.clear();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastOpenError_ = errno;
        if (lastOpenError_ == EBUSY) return Refuse(-1, path, 0);
        return false;
    }
    // Root gets past the tty's exclusive mode: a port already marked is someone else's. The
    // mark is set last, so that a refused open never clears the holder's.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return Refuse(fd, path, 0);
    // Binds root too, and a second open within this program.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return Refuse(fd, path, 0);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
        const std::string lockPath = LockFilePath(path, lockDir_);
        long holder = 0;
        bool created = false;
        if (!lockPath.empty() && !TakeLockFile(lockPath, holder, created)) return Refuse(fd, path, holder);
        if (created) lockFile_ = lockPath;
    }
    // Not shared: a second program opening the port gets EBUSY. Not every device supports
    // it (a plain file does not); Configure refuses those anyway.
    (void)::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    lastOpenError_ = 0;
    hungUp_ = false;
    return true;
}

// Ends a refused open with EBUSY and finds out who holds the port.
bool PosixSerialPort::Refuse(int fd, const std::string& path, long holderPid) {
    if (fd >= 0) ::close(fd);  // before looking: our own descriptor is not the holder
    lastOpenError_ = EBUSY;
    lastOpenHolder_ = PortHolderText(path, lockDir_, holderPid);
    return false;
}

bool BuildLineSettings(const SerialSettings& s, termios& t) {
    if (s.baudRate <= 0) return false;  // 0 would hang the line up
    speed_t speed = 0;
    const bool named = BaudCode(s.baudRate, speed);
    tcflag_t size;
    switch (s.dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return false;  // 9 data bits and the like: no tty can do it
    }
    if (s.parity < ParityNone || s.parity > ParityOdd) return false;
    // termios has no 1.5 stop bits.
    if (s.stopBits != StopBits1 && s.stopBits != StopBits2) return false;

    ::cfmakeraw(&t);
    // Binary line, no flow control of any kind: the device speaks plain RS232 with no
    // handshake lines. Parity errors are not marked or dropped: received bytes are handed
    // over as they came.
    t.c_iflag &= ~(IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    t.c_cflag |= CLOCAL | CREAD | size;
    if (s.parity == ParityEven) t.c_cflag |= PARENB;
    if (s.parity == ParityOdd) t.c_cflag |= PARENB | PARODD;
    if (s.stopBits == StopBits2) t.c_cflag |= CSTOPB;
    // VMIN 1 keeps poll() quiet while nothing is queued; reads never block (O_NONBLOCK).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return !named || (::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0);
}

namespace {

// Unix98 pseudo-terminal slaves (majors 136-143). The kernel forces 8 data bits and no
// parity on them: there is no wire to carry either.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

}  // namespace

bool PosixSerialPort::Configure(const SerialSettings& s) {
    if (fd_ < 0) return false;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    if (!BuildLineSettings(s, t)) return false;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    speed_t named;
    const bool isNamed = BaudCode(s.baudRate, named);
    if (!isNamed && !SetLineSpeed(fd_, s.baudRate)) return false;

    // tcsetattr succeeds if any part was taken; a driver may quietly substitute what it
    // cannot do, so check that the line really carries the settings.
    termios back{};
    if (::tcgetattr(fd_, &back) != 0) return false;
    tcflag_t mask = CSTOPB;
    if (!IsPseudoTerminal(fd_)) mask |= CSIZE | PARENB | PARODD;
    if ((back.c_cflag & mask) != (t.c_cflag & mask)) return false;
    return isNamed ? ::cfgetospeed(&back) == named : LineSpeedClose(LineSpeed(fd_), s.baudRate);
}

bool ReadLineSettings(int fd, SerialSettings& out) {
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) return false;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            out.dataBits = 5;
            break;
        case CS6:
            out.dataBits = 6;
            break;
        case CS7:
            out.dataBits = 7;
            break;
        default:
            out.dataBits = 8;
            break;
    }
    out.parity = !(t.c_cflag & PARENB) ? ParityNone : (t.c_cflag & PARODD) ? ParityOdd : ParityEven;
    out.stopBits = (t.c_cflag & CSTOPB) ? StopBits2 : StopBits1;
    out.baudRate = LineSpeed(fd);
    return out.baudRate > 0;
}

double LineBitsPerByte(const SerialSettings& s) {
    const double stop = s.stopBits == StopBits2 ? 2.0 : s.stopBits == StopBits1_5 ? 1.5 : 1.0;
    return 1.0 + s.dataBits + (s.parity == ParityNone ? 0.0 : 1.0) + stop;
}

std::size_t PosixSerialPort::Write(const uint8_t* bytes, std::size_t length, int cancelFd) {
    if (fd_ < 0 || hungUp_) return 0;
    const auto deadline = WriteDeadline(length);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV) hungUp_ = true;
            break;
        }
        // Output queue full: wait until it drains, the time-out passes or we are cancelled.
        int wait = RemainingMs(deadline);
        if (wait == 0) break;
        pollfd p[2] = {{fd_, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        int r = ::poll(p, cancelFd >= 0 ? 2 : 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        if (cancelFd >= 0 && (p[1].revents & POLLIN)) break;
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            hungUp_ = true;
            break;
        }
    }
    return done;
}

std::size_t PosixSerialPort::BytesQueued() {
    if (fd_ < 0) return 0;
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<std::size_t>(n);
}

std::size_t PosixSerialPort::Read(uint8_t* out, std::size_t capacity) {
    if (fd_ < 0 || capacity == 0) return 0;
    for (;;) {
        ssize_t n = ::read(fd_, out, capacity);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        // With VMIN 1 an empty queue gives EAGAIN; end of file or EIO means the line is gone
        // (unplugged adapter, the pty's other side closed).
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) hungUp_ = true;
        return 0;
    }
}

bool PosixSerialPort::HungUp() const { return hungUp_; }

void PosixSerialPort::Close() {
    // The lock file goes while we still hold the device: once the last descriptor closes, the
    // name can belong to a new device at once (a pty whose other side is gone is numbered
    // afresh), whose opener must not find our lock file naming a live process.
    if (!lockFile_.empty()) {
        if (LockFilePid(lockFile_) == ::getpid()) ::unlink(lockFile_.c_str());
        lockFile_.clear();
    }
    if (fd_ >= 0) {
        // A pty keeps its exclusive mark after the last close while its other side stays open;
        // without this, reopening it (Disconnect, Connect) would fail with EBUSY.
        (void)::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    hungUp_ = false;
}

std::shared_ptr<SerialPort> MakePosixSerialPort() { return std::make_shared<PosixSerialPort>(); }

// ---------------------------------------------------------------------------------------
// Port lists

namespace {

// Natural order: "ttyS2" before "ttyS10", then "ttyUSB0".
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        return i;
    };
    const std::size_t ia = split(a), ib = split(b);
    const std::string pa = a.substr(0, ia), pb = b.substr(0, ib);
    if (pa != pb) return pa < pb;
    const std::string na = a.substr(ia), nb = b.substr(ib);
    // Compare the digit runs by value without converting (any length): shorter after
    // stripping leading zeros is smaller.
    auto strip = [](const std::string& d) { return d.substr(std::min(d.find_first_not_of('0'), d.size())); };
    const std::string sa = strip(na), sb = strip(nb);
    if (sa.size() != sb.size()) return sa.size() < sb.size();
    if (sa != sb) return sa < sb;
    return a < b;
}

// 8250 placeholder ports exist for every possible legacy port; their type reads 0 (unknown).
bool IsPlaceholder(const std::filesystem::path& dir) {
    std::ifstream in(dir / "type");
    long type = -1;
    if (!(in >> type)) return false;  // no readable type: not a UART placeholder
    return type == 0;
}

}  // namespace

int EnumeratePorts(std::vector<std::string>& names, const std::string& sysfsRoot) {
    namespace fs = std::filesystem;
    names.clear();
    std::error_code ec;
    fs::directory_iterator it(sysfsRoot, ec);
    if (ec) return -1;
    std::vector<std::string> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path dir = it->path();
        std::error_code lec;
        if (fs::symlink_status(dir / "device", lec).type() == fs::file_type::not_found || lec) continue;
        if (IsPlaceholder(dir)) continue;
        std::string name = "/dev/" + dir.filename().string();
        if (name.size() >= static_cast<std::size_t>(PortNameSize)) continue;  // would not fit a name slot
        found.push_back(std::move(name));
    }
    std::sort(found.begin(), found.end(), NaturalLess);
    if (found.size() > static_cast<std::size_t>(MaxSerialPorts)) found.resize(MaxSerialPorts);
    names = std::move(found);
    return static_cast<int>(names.size());
}

int ListSerialById(std::vector<std::string>& paths, const std::string& byIdDir) {
    namespace fs = std::filesystem;
    paths.clear();
    std::error_code ec;
    fs::directory_iterator it(byIdDir, ec);
    if (ec) return 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        paths.push_back(it->path().string());
    }
    std::sort(paths.begin(), paths.end());
    return static_cast<int>(paths.size());
}

}  // namespace corvix
