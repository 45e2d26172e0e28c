#include "model/project_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace corvix {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Replace the file a symbolic link points to, not the link itself.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return path;
}

}  // namespace

FileError ParseProjectFile(const uint8_t* data, std::size_t size, ProjectBlock& out) {
    if (data == nullptr || size < 4) return FileError::BadMagic;
    uint32_t magic;
    std::memcpy(&magic, data, 4);
    if (magic != ProjectMagic) return FileError::BadMagic;
    if (size != static_cast<std::size_t>(ProjectFileSize)) return FileError::BadSize;
    std::memcpy(static_cast<void*>(&out), data + 4, ProjectBlockSize);
    return FileError::None;
}

FileError ReadProjectFile(const std::string& path, ProjectBlock& out) {
    ProjectFileReader reader;
    FileError err = reader.Open(path);
    if (err != FileError::None) return err;
    return reader.ReadInto(out);
}

FileError WriteProjectFileAtomic(const std::string& path, const ProjectBlock& block) {
    ProjectFileWriter writer;
    FileError err = writer.Open(path);
    if (err != FileError::None) return err;
    return writer.Commit(block);
}

// ---- reader ----

ProjectFileReader::~ProjectFileReader() {
    if (fd_ >= 0) ::close(fd_);
}

FileError ProjectFileReader::Open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return FileError::CannotOpen;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return FileError::CannotOpen;
    }
    return FileError::None;
}

FileError ProjectFileReader::ReadInto(ProjectBlock& out) {
    if (fd_ < 0) return FileError::CannotOpen;
    // One byte more than a project file holds tells a too-long file from a right one.
    std::vector<uint8_t> buffer(static_cast<std::size_t>(ProjectFileSize) + 1);
    std::size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileError::CannotOpen;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return ParseProjectFile(buffer.data(), got, out);
}

// ---- writer ----

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
}

FileError ProjectFileWriter::Open(const std::string& path) {
    Discard();
    if (path.empty()) return FileError::CannotOpen;
    target_ = ResolveTarget(path);
    // The rename would replace whatever stands at the path, so refuse here what opening the
    // path for writing would refuse: a folder or other non-file, or a file we may not write.
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode) || ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return FileError::CannotOpen;
    }

    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target_);
    const std::size_t slash = target_.rfind('/');
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1));
        // 0666 before the umask, as an ordinary new file would get.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = candidate;
            return FileError::None;
        }
        if (errno != EEXIST) break;
    }
    return FileError::CannotOpen;
}

FileError ProjectFileWriter::Commit(const ProjectBlock& block) {
    if (fd_ < 0) return FileError::CannotWrite;
    // An existing file keeps its permissions.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);

    const uint32_t magic = ProjectMagic;
    bool ok = WriteAll(fd_, reinterpret_cast<const char*>(&magic), 4) &&
              WriteAll(fd_, reinterpret_cast<const char*>(&block), ProjectBlockSize) && ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (!ok || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        Discard();
        return FileError::CannotWrite;
    }
    temp_.clear();
    // Make the rename itself durable; failing here loses nothing already written.
    int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileError::None;
}

}  // namespace corvix
