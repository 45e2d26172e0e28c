// SPDX-License-Identifier: Apache-2.0
// Start-up pieces of the desktop program that the application object strings together:
// the command line and the demo mode with its simulated device.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CMainFrame;
class QProcess;

namespace corvix::ui {

struct StartOptions {
    bool help = false;
    bool demo = false;
    std::string projectPath;  // a project file to import at start; empty for none
    std::string error;        // non-empty: the command line was refused
};

// Arguments after the program name (Qt's own options already removed). "--" ends the
// options, so a file named like an option can still be given.
StartOptions ParseCommandLine(const std::vector<std::string>& args);

// Text of --help in both languages.
std::string UsageText();

// The simulated device of --demo: the corvix-devsim program installed beside this one, run
// as a child process for as long as the session lives, serving a new pseudo-terminal.
class DemoSession {
  public:
    static constexpr int DeviceAddress = 1;  // the simulator's default address

    ~DemoSession();
    // Starts the device, points the frame's port at it, creates a new project whose first
    // device has the device's address, opens that device's input status page in the tree and
    // connects. Null (with `error`) when the device cannot be started.
    static std::unique_ptr<DemoSession> Start(CMainFrame& frame, std::string* error = nullptr);
    const std::string& DevicePath() const { return devicePath_; }

  private:
    DemoSession();
    std::unique_ptr<QProcess> process_;
    std::string devicePath_;
};

}  // namespace corvix::ui
