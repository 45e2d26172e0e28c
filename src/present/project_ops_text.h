// SPDX-License-Identifier: Apache-2.0
// What the rows of an operation over several devices say: states, reasons, results, the
// summary line and the cable prompt, for the operations window and the command line alike.
#pragma once

#include <string>
#include <vector>

#include "link/project_ops.h"

namespace corvix {

// "waiting", "connecting", "working", "done", "failed", "skipped" (for JSON; no language).
const char* DeviceOpStateName(DeviceOpState state);
std::string DeviceOpStateText(DeviceOpState state, int lang);
// Why a device failed or was skipped; empty when it did not.
std::string DeviceOpReasonText(const DeviceOpResult& result, const std::string& port, int lang);
// A done device's result ("configuration read", "3 differences", "clock offset +0.120 s", ...),
// or the reason of a failed or skipped one. `differences` counts a comparison's rows.
std::string DeviceOpOutcomeText(ProjectOpKind kind, const DeviceOpResult& result, const std::string& port,
                                int differences, int lang);
std::string DeviceOpSummaryText(const std::vector<DeviceOpResult>& results, int lang);
std::string GuidePromptText(const DeviceTarget& target, int lang);

}  // namespace corvix
