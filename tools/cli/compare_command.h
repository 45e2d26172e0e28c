// SPDX-License-Identifier: Apache-2.0
// corvix-cli device compare: a project device against the configuration the device holds.
#pragma once

#include "cli/device_session.h"

namespace corvix::cli {

inline constexpr int ExitDiffers = 6;

extern const char* const kCompareUsage;

// Reads the device's configuration (the project is not changed) and prints the rows whose
// values differ from project device `device`. ExitOk when equal, ExitDiffers when not,
// ExitNoAnswer or ExitFile.
int RunCompare(CBrondaleDoc& doc, DeviceSession& session, int device, int lang, bool json);

}  // namespace corvix::cli
