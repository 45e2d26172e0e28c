// SPDX-License-Identifier: Apache-2.0
// Sharing a serial port with other programs: the traditional "LCK..name" lock files, and
// finding the program that holds a port we were refused.
#pragma once

#include <string>

namespace corvix {

// True while the process exists (also one we may not signal).
bool ProcessAlive(long pid);

// "<lockDir>/LCK..ttyUSB0" for /dev/ttyUSB0 (also when reached through /dev/serial/by-id),
// "<lockDir>/LCK..pts_3" for /dev/pts/3: the name under /dev with '/' made '_'. Empty without
// a lock folder.
std::string LockFilePath(const std::string& path, const std::string& lockDir);

// The PID in a lock file: ten ASCII digits and a newline, or a binary int of old programs;
// 0 when there is none.
long LockFilePid(const std::string& lockPath);

// Takes the lock file for this process: false when another live process holds it (its PID in
// `holder`). A file of a process that is gone, or of ours, is stale and replaced. Without a
// lock folder we may write there is nothing to take and nothing stands in the way; `created`
// tells whether the file is now ours to remove.
bool TakeLockFile(const std::string& lockPath, long& holder, bool& created);

// The program holding the device at `path`, "name (PID n)": `holderPid` when known, else from
// the kernel's table of flock() locks, the lock file, or the open files of the processes we
// may look at. Empty when none is found.
std::string PortHolderText(const std::string& path, const std::string& lockDir, long holderPid);

}  // namespace corvix
