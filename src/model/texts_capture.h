// SPDX-License-Identifier: Apache-2.0
// Catalog section: live capture for a packet analyser (corvix-cli extcap). Included through
// model/texts.h.
#pragma once

namespace corvix::txt {

// %s: the fifo's path, then the system's reason.
inline constexpr BiText ExtcapFifoOpenFailed{"无法打开抓包管道 %s：%s", "Cannot open the capture fifo %s: %s"};
inline constexpr BiText ExtcapFifoWriteFailed{"无法写入抓包管道：%s。抓包结束。",
                                              "Cannot write to the capture fifo: %s. The capture ends."};
// %s: the interface name given.
inline constexpr BiText ExtcapUnknownInterface{"未知的抓包接口“%s”（只有 corvix）。",
                                               "Unknown capture interface '%s' (there is only corvix)."};
inline constexpr BiText ExtcapNoPort{"没有给出串口：请在抓包接口的选项中填写串口（--port）。",
                                     "No serial port given: set the port (--port) in the capture interface's options."};

}  // namespace corvix::txt
