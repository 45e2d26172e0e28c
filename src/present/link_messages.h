// SPDX-License-Identifier: Apache-2.0
// What the link's and the engine's outcomes say to a person: message texts and captions,
// event lines and clock texts, in the interface language. Shared by the desktop program and
// the command line, so both say the same thing; plain C++.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/comm_link.h"
#include "link/engine_results.h"

namespace corvix {

struct UserMessage {
    std::string text, caption;  // UTF-8
};

// Messages of a failed "Connect with Device", in the order they show: a refused line setting
// or worker says "Open Serial Port Error" first; every failure then says "Open serial port
// error" (with advice when we lacked the rights to the port).
std::vector<UserMessage> ConnectMessages(LinkOpen result, const CommLink& link, int lang);
// Messages of a new port name whose reopen failed ("Can not open serial port").
std::vector<UserMessage> PortChangeMessages(const PortChange& change, const CommLink& link, int lang);
// The message of a failed operation; none for a refused event segment, which only ends the
// transfer.
std::optional<UserMessage> FailureMessage(const OperationFailed& failure, int lang);
UserMessage WriteSuccessMessage(int lang);
// The message when the server of an open network link closed the connection; none for a
// device path (its hang-up has no message of its own).
std::optional<UserMessage> LinkLostMessage(const CommLink& link, int lang);

// The two event-window lines of one event ("\r\n" line ends) in the given date order.
std::string EventText(const WireEvent& e, int dateOrder, int lang);
// A device-time or PC-time box's text in the given date order.
std::string ClockText(int dateOrder, const ClockFields& c);

}  // namespace corvix
