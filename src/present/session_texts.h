// SPDX-License-Identifier: Apache-2.0
// What the window says about the link session's state: the status pane's text (the link's
// settings, or that a lost port is awaited) and the age of the live status. Plain C++.
#pragma once

#include <optional>
#include <string>

#include "link/link_session.h"
#include "model/local_time.h"

namespace corvix {

// The status pane: "connecting to <port>…" while a network port is being opened, "link lost,
// waiting for <port>" in the interface language while the session waits for a lost port,
// otherwise the link's own text ("Off" / "On  <port> …").
std::string StatusPaneText(const LinkSession& session, int lang);
// "link restored: <port>", for a front end that has no pane to show it in.
std::string LinkRestoredText(const LinkSession& session, int lang);
// "last update hh:mm:ss" of the last status answer, dashes before the first.
std::string LastUpdateText(const std::optional<LocalTime>& last, int lang);

}  // namespace corvix
