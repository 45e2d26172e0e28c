// SPDX-License-Identifier: Apache-2.0
// A project as stable lines of text, one field per line, each naming its device, page and
// field ("device 2 / RS485 Port B1 - System / Baud rate: 9600"), so that a line diff of two
// versions of a project file (git's textconv) shows exactly the fields that changed. Bytes no
// page shows are summed up per device and for the project as a count and a hash.
#pragma once

#include <string>

#include "model/record.h"

namespace corvix {

std::string ProjectLines(const ProjectBlock& block, int uiLanguage);

// FNV-1a, 64 bits: a stable fingerprint of bytes, not a guard against forgery.
uint64_t Fingerprint(const void* data, std::size_t size);

}  // namespace corvix
