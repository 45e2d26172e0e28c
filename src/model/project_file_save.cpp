// SPDX-License-Identifier: Apache-2.0
// Saving a project file: see ProjectFileWriter in project_file.h for which way each case goes.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "model/project_file.h"

namespace corvix {
namespace {

// Temporary files are named ".NAME.tmpPID-N" beside the target.
constexpr const char* kTempMark = ".tmp";
// A temporary file of a process that no longer exists is removed only once it is this old,
// so that a save under way in another PID namespace sharing the folder is left alone.
constexpr time_t kStaleTempSeconds = 600;
// Symbolic links followed before a path counts as a loop (the kernel's own limit).
constexpr int kMaxLinkHops = 40;

bool WriteAll(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save writes: the path itself, or where its chain of symbolic links ends, also
// when nothing exists there yet (a dangling link is saved through, not replaced). False for
// a loop or a link that cannot be read.
bool FollowLinks(std::string path, std::string& out) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = path;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) return false;
        const std::string next(link, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
    }
    return false;
}

bool ProcessGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// The PID in a temporary name, from what follows ".NAME.tmp": "PID-N" or "PID-uN"; 0 when the
// text is not of that form.
long TemporaryOwner(const char* rest) {
    if (*rest < '0' || *rest > '9') return 0;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(rest, &end, 10);
    if (errno != 0 || *end != '-') return 0;
    const char* n = end + 1;
    if (*n == 'u') ++n;
    if (*n == '\0') return 0;
    for (; *n != '\0'; ++n)
        if (*n < '0' || *n > '9') return 0;
    return pid;
}

// Removes temporary files of ours that a save killed before its rename left beside `base`:
// same owner, regular files, of a process that is gone, and not recent.
void RemoveStaleTemporaries(const std::string& folder, const std::string& base) {
    const std::string prefix = "." + base + kTempMark;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = TemporaryOwner(name.c_str() + prefix.size());
        if (pid == ::getpid() || !ProcessGone(pid)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || now - st.st_mtime < kStaleTempSeconds)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Unnamed files can be given a name only through /proc without extra privileges.
bool CanNameUnnamedFiles() { return ::access("/proc/self/fd", X_OK) == 0; }

}  // namespace

ProjectFileWriter::~ProjectFileWriter() { Discard(); }

void ProjectFileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    inPlace_ = unnamed_ = existing_ = false;
}

FileError ProjectFileWriter::Open(const std::string& path) {
    Discard();
    if (path.empty() || !FollowLinks(path, target_)) return FileError::CannotOpen;
    const std::string folder = FolderOf(target_);
    RemoveStaleTemporaries(folder, BaseOf(target_));

    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        // Only a file we may write is saved: never a folder, FIFO or device, and a read-only
        // file is not replaced behind its owner's back.
        if (!S_ISREG(st.st_mode) || ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return FileError::CannotOpen;
        existing_ = true;
        old_ = st;
        // A new file would split a hard link, and cannot be made in a folder we may not write.
        if (st.st_nlink > 1 || ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            return OpenInPlace();
    } else if (errno != ENOENT) {
        return FileError::CannotOpen;
    }
    const FileError err = OpenTemporary();
    if (err != FileError::None || !existing_ || KeepOwnership()) return err;
    // The new file cannot carry the old one's owner or group: keep the file itself.
    ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    unnamed_ = false;
    return OpenInPlace();
}

FileError ProjectFileWriter::OpenInPlace() {
    // Not truncated here: nothing of the old content goes before the new image is ready.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FileError::CannotOpen;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != old_.st_ino ||
        st.st_dev != old_.st_dev) {
        ::close(fd);
        return FileError::CannotOpen;
    }
    fd_ = fd;
    inPlace_ = true;
    return FileError::None;
}

FileError ProjectFileWriter::OpenTemporary() {
    const std::string folder = FolderOf(target_);
#ifdef O_TMPFILE
    // An unnamed file vanishes by itself if the save is killed: nothing is left behind.
    if (CanNameUnnamedFiles()) {
        // 0666 before the umask, as an ordinary new file would get.
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            unnamed_ = true;
            return FileError::None;
        }
    }
#endif
    static std::atomic<unsigned> counter{0};
    const std::string stem = folder + "/." + BaseOf(target_) + kTempMark + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + std::to_string(counter.fetch_add(1));
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = candidate;
            return FileError::None;
        }
        if (errno != EEXIST) break;
    }
    return FileError::CannotOpen;
}

// Gives the new file the replaced file's owner, group and mode. False when the owner or group
// cannot be given (only the mode can always be kept).
bool ProjectFileWriter::KeepOwnership() {
    struct stat mine {};
    if (::fstat(fd_, &mine) != 0) return false;
    if ((mine.st_uid != old_.st_uid || mine.st_gid != old_.st_gid) &&
        ::fchown(fd_, old_.st_uid, old_.st_gid) != 0)
        return false;
    // After the owner: changing it clears the set-user and set-group bits.
    return ::fchmod(fd_, old_.st_mode & 07777) == 0;
}

// Gives the unnamed file the temporary name, so that a rename can put it over the target.
bool ProjectFileWriter::NameTemporary() {
    static std::atomic<unsigned> counter{0};
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    const std::string stem =
        FolderOf(target_) + "/." + BaseOf(target_) + kTempMark + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + "u" + std::to_string(counter.fetch_add(1));
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

FileError ProjectFileWriter::CommitInPlace(const std::string& image) {
    // Refuse what is sure to fail before the old content is touched: a file-size limit below
    // the image, and a disk without room for it (reserving is a no-op for blocks the file has).
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < image.size())
        return FileError::CannotWrite;
    if (::fallocate(fd_, 0, 0, static_cast<off_t>(image.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS && errno != EINVAL)
        return FileError::CannotWrite;
    bool ok = WriteAll(fd_, image.data(), image.size(), 0) &&
              ::ftruncate(fd_, static_cast<off_t>(image.size())) == 0 && ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    return ok ? FileError::None : FileError::CannotWrite;
}

FileError ProjectFileWriter::Commit(const ProjectBlock& block) {
    if (fd_ < 0) return FileError::CannotWrite;
    const std::string image = ProjectFileImage(block);
    bool ok;
    if (inPlace_) {
        ok = CommitInPlace(image) == FileError::None;
    } else {
        ok = WriteAll(fd_, image.data(), image.size(), 0) && ::fsync(fd_) == 0;
        bool named = false;
        if (ok && unnamed_) {
            // A new file gets its name in one step; an existing one is replaced by a rename.
            const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
            named = !existing_ &&
                    ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0;
            ok = named || NameTemporary();
        }
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        if (ok && !named && ::rename(temp_.c_str(), target_.c_str()) != 0) {
            // The folder refuses to replace the file (a sticky folder, a file mounted over):
            // write it in place instead, as for a folder we may not write.
            const int why = errno;
            ok = existing_ && (why == EPERM || why == EACCES || why == EBUSY) &&
                 OpenInPlace() == FileError::None && CommitInPlace(image) == FileError::None;
        } else if (ok && !named) {
            temp_.clear();
        }
    }
    Discard();
    if (!ok) return FileError::CannotWrite;
    // Make the new name durable; failing here loses nothing already written.
    const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileError::None;
}

}  // namespace corvix
