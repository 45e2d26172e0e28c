// SPDX-License-Identifier: Apache-2.0
// The application object: start-up of the desktop program.
#pragma once

class CBrondaleApp {
  public:
    // Runs the program; returns the process exit code.
    int Run(int argc, char** argv);
};
