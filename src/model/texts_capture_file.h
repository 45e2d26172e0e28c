// SPDX-License-Identifier: Apache-2.0
// Catalog section: capture files (pcapng) of the communication log, from the command line's
// --pcap and the communication bar. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// %s: the file's path, then the system's reason.
inline constexpr BiText CaptureOpenFailed{"无法创建抓包文件 %s：%s。未与设备通讯。",
                                          "Cannot create the capture file %s: %s. Nothing was sent to the device."};
inline constexpr BiText CaptureWriteFailed{"无法写入抓包文件 %s：%s。之后的帧不再写入抓包文件。",
                                           "Cannot write the capture file %s: %s. Later frames are not captured."};
// The communication bar's context menu.
inline constexpr BiText LogSavePcapng{"保存为 pcapng(&P)...", "Save Log as &pcapng..."};
inline constexpr BiText LogSavePcapngTitle{"保存为 pcapng 抓包文件", "Save Log as pcapng Capture"};
inline constexpr BiText LogPcapngFilter{"pcapng 抓包文件 (*.pcapng);;所有文件 (*)",
                                        "pcapng captures (*.pcapng);;All files (*)"};
inline constexpr BiText LogAutomaticPcapng{"自动日志同时写 pcapng(&W)", "Automatic Log &Writes pcapng Too"};
// %s: the folder.
inline constexpr BiText LogAutomaticPcapngTip{"每天一个 corvix-YYYY-MM-DD.pcapng 文件，与文本日志同在 %s",
                                              "One corvix-YYYY-MM-DD.pcapng file a day, beside the text log in %s"};

}  // namespace corvix::txt
