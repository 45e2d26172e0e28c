// SPDX-License-Identifier: Apache-2.0
// The project file: magic number 5555 followed by the project block, nothing else.
// Reading and writing are split into an opening step and a transfer step so that the
// document can show its messages and wait cursor between them.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/doc.h"

namespace corvix {

// Checks magic and size of a whole file image and copies its block into `out`
// (only on success).
FileError ParseProjectFile(const uint8_t* data, std::size_t size, ProjectBlock& out);

// The file image of a block: magic + block, ProjectFileSize bytes.
std::string ProjectFileImage(const ProjectBlock& block);

class ProjectFileReader {
  public:
    ProjectFileReader() = default;
    ~ProjectFileReader();
    ProjectFileReader(const ProjectFileReader&) = delete;
    ProjectFileReader& operator=(const ProjectFileReader&) = delete;

    // CannotOpen for a missing, unreadable or non-regular file. A FIFO or device is refused
    // without waiting for it: it is never opened in a way that could block.
    FileError Open(const std::string& path);
    // Reads and checks the whole file; `out` changes only on success.
    FileError ReadInto(ProjectBlock& out);

  private:
    int fd_ = -1;
};

// Saves a project file without ever leaving a damaged or half-written previous file where
// that can be avoided, and keeps what the replaced file carried:
// - normally the image goes to an unnamed temporary file in the target's folder (a named
//   ".NAME.tmpPID-N" one where the file system has no unnamed files), reaches the disk, and
//   then replaces the target in one rename; owner, group and mode of the replaced file are
//   kept where permitted;
// - a hard-linked file, a file in a folder we may not write, or a file whose owner or group
//   we cannot give a new file is written in place, from a fully built image, and synced;
// - a symbolic link (chain) is followed, also to a file that does not exist yet; a loop, a
//   folder, a FIFO or any other non-file is refused without being opened.
class ProjectFileWriter {
  public:
    ProjectFileWriter() = default;
    ~ProjectFileWriter();  // discards the temporary file unless committed
    ProjectFileWriter(const ProjectFileWriter&) = delete;
    ProjectFileWriter& operator=(const ProjectFileWriter&) = delete;

    // Prepares the save; CannotOpen when the folder refuses it, or when the path holds
    // something that is not a file we may write (a folder, a FIFO, a read-only file, a loop).
    // Also removes temporary files of our naming that a killed save left beside the target.
    FileError Open(const std::string& path);
    // Writes, syncs and puts the file in place; CannotWrite on any failure. When replacing,
    // the target is then untouched; in place, the failures that can be foreseen (no room, a
    // size limit) are found before the first byte is written.
    FileError Commit(const ProjectBlock& block);

  private:
    void Discard();
    FileError OpenInPlace();
    FileError OpenTemporary();
    bool KeepOwnership();
    bool NameTemporary();
    FileError CommitInPlace(const std::string& image);

    int fd_ = -1;
    bool inPlace_ = false;
    bool unnamed_ = false;   // fd_ is an unnamed temporary file
    bool existing_ = false;  // the target exists; old_ describes it
    struct stat old_ {};
    std::string target_;
    std::string temp_;  // the temporary file's name while it has one
};

}  // namespace corvix
