// SPDX-License-Identifier: Apache-2.0
#include "link/port_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvix {

bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::string LockFilePath(const std::string& path, const std::string& lockDir) {
    if (lockDir.empty()) return {};
    char resolved[PATH_MAX];
    std::string name = ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    else if (name.find('/') != std::string::npos)
        name.erase(0, name.rfind('/') + 1);
    std::replace(name.begin(), name.end(), '/', '_');
    return name.empty() ? std::string() : lockDir + "/LCK.." + name;
}

long LockFilePid(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    // Four bytes that are not text ("123\n" is) hold the PID as a binary int.
    if (n == 4 && std::strspn(text, " 0123456789\n") != 4) {
        int32_t binary;
        std::memcpy(&binary, text, 4);
        return binary;
    }
    return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

bool TakeLockFile(const std::string& lockPath, long& holder, bool& created) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            created = ::write(fd, text, static_cast<std::size_t>(n)) == n;
            ::close(fd);
            if (!created) ::unlink(lockPath.c_str());
            return true;
        }
        if (errno != EEXIST) return true;
        const long pid = LockFilePid(lockPath);
        if (pid != ::getpid() && ProcessAlive(pid)) {
            holder = pid;
            return false;
        }
        if (::unlink(lockPath.c_str()) != 0) return true;
    }
    return true;
}

namespace {

// The PID of a process holding a flock() on the device node, from the kernel's lock table.
long FlockHolder(const struct stat& node) {
    FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return 0;
    char line[256];
    long found = 0;
    while (found == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
        char kind[16], mode[16], access[16];
        long pid = 0;
        unsigned maj = 0, min = 0;
        unsigned long ino = 0;
        if (std::sscanf(line, "%*d: %15s %15s %15s %ld %x:%x:%lu", kind, mode, access, &pid, &maj, &min,
                        &ino) == 7 &&
            std::strcmp(kind, "FLOCK") == 0 && maj == major(node.st_dev) && min == minor(node.st_dev) &&
            ino == node.st_ino)
            found = pid;
    }
    std::fclose(locks);
    return found;
}

// The PID of a process with the device open, from the processes' open files we may look at.
long OpenerOf(const struct stat& node) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    long found = 0;
    while (found == 0) {
        const dirent* p = ::readdir(proc);
        if (p == nullptr) break;
        char* end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        while (const dirent* f = ::readdir(fds)) {
            struct stat st {};
            if (f->d_name[0] != '.' && ::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 &&
                S_ISCHR(st.st_mode) && st.st_rdev == node.st_rdev) {
                found = pid;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// "name (PID n)", or "PID n" when the process's name cannot be read.
std::string ProcessText(long pid) {
    std::string name;
    if (FILE* comm = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "re")) {
        char text[64] = {};
        if (std::fgets(text, sizeof text, comm) != nullptr) name = text;
        std::fclose(comm);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    const std::string id = "PID " + std::to_string(pid);
    return name.empty() ? id : name + " (" + id + ")";
}

}  // namespace

std::string PortHolderText(const std::string& path, const std::string& lockDir, long holderPid) {
    struct stat node {};
    if (holderPid <= 0 && ::stat(path.c_str(), &node) == 0) {
        holderPid = FlockHolder(node);
        if (holderPid <= 0) {
            const long fromFile = LockFilePid(LockFilePath(path, lockDir));
            holderPid = ProcessAlive(fromFile) ? fromFile : OpenerOf(node);
        }
    }
    return holderPid > 0 ? ProcessText(holderPid) : std::string();
}

}  // namespace corvix
