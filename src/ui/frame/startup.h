// Start-up pieces of the desktop program that the application object strings together:
// the command line and the demo mode with its in-process simulated device.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CMainFrame;

namespace corvix::sim {
class SimServer;
}

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

// The simulated device of --demo: a device served on a new pseudo-terminal for as long as
// the session lives.
class DemoSession {
  public:
    ~DemoSession();
    // Starts the device, points the frame's port at it, creates a new project whose first
    // device has the device's address and connects. Null (with `error`) when the device
    // cannot be started.
    static std::unique_ptr<DemoSession> Start(CMainFrame& frame, std::string* error = nullptr);
    sim::SimServer& Server() { return *server_; }

  private:
    DemoSession() = default;
    std::unique_ptr<sim::SimServer> server_;
};

}  // namespace corvix::ui
