// SPDX-License-Identifier: Apache-2.0
// Catalog section: the link session's state as the window shows it (a lost link that is
// awaited, the age of the live status). Included through model/texts.h.
#pragma once

namespace corvix::txt {

// Status pane while a lost port is awaited; %s is the port name being retried.
inline constexpr BiText LinkLostWaiting{"连接已断开，正在等待 %s", "link lost, waiting for %s"};
// The command line's word that a lost port is open again; %s is its name.
inline constexpr BiText LinkRestoredOn{"已重新连接 %s", "link restored: %s"};
// Status pane while a network port is being opened; %s is its name.
inline constexpr BiText Connecting{"正在连接 %s…", "connecting to %s…"};
// Under a status page whose states have not been answered for a while.
inline constexpr BiText LastUpdateAt{"最后更新 %02d:%02d:%02d", "last update %02d:%02d:%02d"};
// The same before any answer came.
inline constexpr BiText LastUpdateNever{"最后更新 --:--:--", "last update --:--:--"};
// Device menu check item: reopen a lost port by itself.
inline constexpr BiText MenuReconnect{"自动重连", "Reconnect automatically"};

}  // namespace corvix::txt
