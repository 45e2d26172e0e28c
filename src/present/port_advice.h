// SPDX-License-Identifier: Apache-2.0
// What to tell a person about a port that would not open, beyond the failure itself: which
// program holds it and how to get it back from the usual suspects, or why a serial device
// server could not be reached. Texts only; the facts come from the link.
#pragma once

#include <string>

#include "link/comm_link.h"

namespace corvix {

// After "Port in use: <holder> holds it.": the fix when the holder is ModemManager or brltty
// (empty for any other holder). `portPath` is the device the holder took.
std::string HolderAdvice(const std::string& holder, const std::string& portPath, int lang);

// Why a tcp:// or rfc2217:// port did not open (`result` CannotOpen) or took no settings
// (CannotConfigure), as a paragraph to append; empty when there is nothing to add.
std::string NetOpenAdvice(LinkOpen result, const CommLink& link, int lang);

}  // namespace corvix
