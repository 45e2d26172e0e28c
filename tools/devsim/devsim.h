// SPDX-License-Identifier: Apache-2.0
// The simulated device: everything a test, the command-line simulator or the desktop
// program's demo mode needs.
//
//   SimServer server(options);          // options: address, inputs, segment size, faults ...
//   server.Start();                      // new pty, answered on a thread of its own
//   server.DevicePath();                 // open this path as the serial port
//   server.Device().SetInput(3, true);   // an input change, logged as a new event
//   server.SetFaults({.silent = true});  // misbehave from now on
//   server.SetPacing({.pace = true});    // bytes at the line rate the PC programmed
//   server.Device().Image();             // the configuration the device keeps
//   server.Stop();
#pragma once

#include "devsim/device_clock.h"
#include "devsim/event_log.h"
#include "devsim/frame_assembler.h"
#include "devsim/options.h"
#include "devsim/pty.h"
#include "devsim/raw_device.h"
#include "devsim/sim_device.h"
#include "devsim/sim_server.h"
