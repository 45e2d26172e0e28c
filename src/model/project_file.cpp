// SPDX-License-Identifier: Apache-2.0
#include "model/project_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace corvix {

FileError ParseProjectFile(const uint8_t* data, std::size_t size, ProjectBlock& out) {
    if (data == nullptr || size < 4) return FileError::BadMagic;
    uint32_t magic;
    std::memcpy(&magic, data, 4);
    if (magic != ProjectMagic) return FileError::BadMagic;
    if (size != static_cast<std::size_t>(ProjectFileSize)) return FileError::BadSize;
    std::memcpy(static_cast<void*>(&out), data + 4, ProjectBlockSize);
    return FileError::None;
}

std::string ProjectFileImage(const ProjectBlock& block) {
    std::string image(ProjectFileSize, '\0');
    const uint32_t magic = ProjectMagic;
    std::memcpy(image.data(), &magic, 4);
    std::memcpy(image.data() + 4, &block, ProjectBlockSize);
    return image;
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
    fd_ = -1;
    // Opening a FIFO for reading waits for a writer, and opening a device may act on it: look
    // first, and open without waiting in case the path changes in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return FileError::CannotOpen;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FileError::CannotOpen;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return FileError::CannotOpen;
    }
    fd_ = fd;
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

}  // namespace corvix
