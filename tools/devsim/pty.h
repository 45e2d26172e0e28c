// SPDX-License-Identifier: Apache-2.0
// A pseudo-terminal pair in raw mode: this program keeps the master side, and the
// device-side path (the slave) is what a serial-port user opens.
#pragma once

#include <string>
#include <thread>

namespace corvix::sim {

// Raw 8-bit mode (no echo, no line discipline, no character translation).
bool MakeRaw(int fd);

class Pty {
  public:
    Pty() = default;
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty() { Close(); }

    bool Open(std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return master_ >= 0; }
    int MasterFd() const { return master_; }
    const std::string& DevicePath() const { return path_; }
    // Drops bytes written to the device side that nobody has read (a line nobody listens to).
    void DropUnreadOutput();

  private:
    void GuardExclusive();

    int master_ = -1;
    // Held open so that the master never sees a hang-up while no user has the path open, and
    // so that the raw settings survive users coming and going.
    int slave_ = -1;
    std::string path_;
    // A port user may put the line in exclusive mode; a pty keeps that mode after the user
    // closes it, which would lock the user out of its next open. A watcher ends the mode each
    // time the path is closed, as closing a real port does.
    std::thread guard_;
    int closeWatch_ = -1;
    int guardStop_[2] = {-1, -1};
};

// A symlink to a pty path, removed again when the object goes, if it still points there.
class PathLink {
  public:
    PathLink() = default;
    PathLink(const PathLink&) = delete;
    PathLink& operator=(const PathLink&) = delete;
    ~PathLink() { Remove(); }

    // Refuses to replace anything but an existing symlink.
    bool Create(const std::string& linkPath, const std::string& target, std::string* error = nullptr);
    void Remove();

  private:
    std::string link_;
    std::string target_;
};

}  // namespace corvix::sim
