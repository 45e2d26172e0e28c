// The project file: magic number 5555 followed by the project block, nothing else.
// Reading and writing are split into an opening step and a transfer step so that the
// document can show its messages and wait cursor between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/doc.h"

namespace corvix {

// Checks magic and size of a whole file image and copies its block into `out`
// (only on success).
FileError ParseProjectFile(const uint8_t* data, std::size_t size, ProjectBlock& out);

class ProjectFileReader {
  public:
    ProjectFileReader() = default;
    ~ProjectFileReader();
    ProjectFileReader(const ProjectFileReader&) = delete;
    ProjectFileReader& operator=(const ProjectFileReader&) = delete;

    // CannotOpen for a missing, unreadable or non-regular file.
    FileError Open(const std::string& path);
    // Reads and checks the whole file; `out` changes only on success.
    FileError ReadInto(ProjectBlock& out);

  private:
    int fd_ = -1;
};

// Writes to a temporary file beside the target and renames it over the target only when
// everything reached the disk, so a failed write never damages the previous file.
class ProjectFileWriter {
  public:
    ProjectFileWriter() = default;
    ~ProjectFileWriter();  // removes the temporary file unless committed
    ProjectFileWriter(const ProjectFileWriter&) = delete;
    ProjectFileWriter& operator=(const ProjectFileWriter&) = delete;

    // Creates the temporary file; CannotOpen when the folder refuses it, or when the path
    // holds something that is not a file we may write (a folder, a read-only file).
    FileError Open(const std::string& path);
    // Writes, flushes and renames; CannotWrite on any failure (the target is untouched).
    FileError Commit(const ProjectBlock& block);

  private:
    void Discard();

    int fd_ = -1;
    std::string target_;
    std::string temp_;
};

}  // namespace corvix
