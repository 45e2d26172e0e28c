// SPDX-License-Identifier: Apache-2.0
// Catalog section: the diff of two projects or devices (corvix-cli diff, Compare With File)
// and the line text of a project that git shows. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- rows of the diff that no parameter page names ----
inline constexpr BiText DiffPageProject{"工程", "Project"};
inline constexpr BiText DiffPageDevice{"装置", "Device"};
// A device slot that only one side holds: the field, and the value of the side without it.
inline constexpr BiText DiffFieldDevice{"装置", "Device"};
inline constexpr BiText DiffDeviceAbsent{"（无此装置）", "(no such device)"};
// printf format with the 1-based slot of the event in the log.
inline constexpr BiText DiffFieldEvent{"事件 %d", "Event %d"};
// Bytes that no page shows (text tails, reserved bytes, unused slots).
inline constexpr BiText DiffPageOther{"其他字节", "Other bytes"};
// printf format: the number of differing bytes and the offset of the first one.
inline constexpr BiText DiffFieldOther{"%d 个字节不同，首个位于 %d", "%d bytes differ, the first at %d"};
// A choice stored as a number without a text: printf format with the number.
inline constexpr BiText DiffUnknownCode{"（代码 %d）", "(code %d)"};
inline constexpr BiText DiffFieldSignalCount{"数量", "Count"};
inline constexpr BiText DiffFieldProjectOpen{"已打开", "Open"};
inline constexpr BiText DiffFieldDeviceCount{"装置数量", "Devices"};
// The line text's summary of the bytes no page shows: none, or printf format with their
// number and a hash of them.
inline constexpr BiText TextOtherNone{"无", "none"};
inline constexpr BiText TextOtherSummary{"%d 个非零字节，散列 %s", "%d non-zero bytes, hash %s"};
// printf format with the 0-based device slot.
inline constexpr BiText TextDeviceScope{"装置 %d", "device %d"};
inline constexpr BiText TextProjectScope{"工程", "project"};

// ---- corvix-cli diff ----
inline constexpr BiText DiffColDevice{"装置", "Device"};
inline constexpr BiText DiffColLeft{"左侧的值", "Left value"};
inline constexpr BiText DiffColRight{"右侧的值", "Right value"};
inline constexpr BiText DiffEqual{"两侧一致", "Both sides are equal"};
// Followed by the path.
inline constexpr BiText DiffCannotRead{"无法读取文件：", "Can not read the file: "};
inline constexpr BiText DiffNotProject{"不是工程文件：", "Not a project file: "};
// printf format: the device number asked for, the devices the side holds, the path.
inline constexpr BiText DiffNoDevice{"没有装置 %d（共 %d 个）：%s", "There is no device %d (it has %d): %s"};
inline constexpr BiText DiffMixedSides{"两侧必须同为整个工程或同为单个装置",
                                       "Both sides must be whole projects or both single devices"};

// ---- Compare With File ----
inline constexpr BiText MenuCompareWithFile{"与文件比较…", "Compare With File…"};
inline constexpr BiText CompareFileCaption{"与文件比较", "Compare With File"};
inline constexpr BiText CompareFileFilter{"工程文件 (*.mac *.json)", "Project files (*.mac *.json)"};
inline constexpr BiText CompareColFile{"文件中的值", "File value"};
inline constexpr BiText CompareUseFile{"采用文件值", "Use file value"};
inline constexpr BiText CompareUseAllFile{"全部采用文件值", "Use all file values"};
inline constexpr BiText CompareUseSelectedFile{"所选行采用文件值", "Use file value for selected rows"};
inline constexpr BiText CompareUseSelectedFileHint{
    "将每个所选行的文件值写入工程；在表格中按空格键或回车键效果相同",
    "Takes the file value of each selected row into the project; Space or Enter on the table does the same"};
inline constexpr BiText CompareFileDevice{"文件中的装置：", "Device of the file:"};
inline constexpr BiText CompareNoProject{"没有打开的工程", "There is no open project"};
inline constexpr BiText CompareFileNoDevices{"文件中没有装置", "The file holds no devices"};

}  // namespace corvix::txt
