// SPDX-License-Identifier: Apache-2.0
// Catalog section: comparing a project device with the device itself, exporting events and
// the device clock's offset. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- compare with device ----
inline constexpr BiText TreeCompareWithDevice{"与装置比较", "Compare With Device"};
inline constexpr BiText CompareCaption{"与装置比较", "Compare With Device"};
inline constexpr BiText CompareColPage{"页面", "Page"};
inline constexpr BiText CompareColField{"项目", "Field"};
inline constexpr BiText CompareColProject{"工程中的值", "Project value"};
inline constexpr BiText CompareColDevice{"装置中的值", "Device value"};
inline constexpr BiText CompareUseDevice{"采用装置值", "Use device value"};
inline constexpr BiText CompareUseAll{"全部采用装置值", "Use all device values"};
// The command on the selected rows: the button under the table, the rows' context menu, and
// Space or Enter on the table. The hint is what assistive technology reads for it.
inline constexpr BiText CompareUseSelected{"所选行采用装置值", "Use device value for selected rows"};
inline constexpr BiText CompareUseSelectedHint{
    "将每个所选行的装置值写入工程；在表格中按空格键或回车键效果相同",
    "Takes the device value of each selected row into the project; Space or Enter on the table does the same"};
inline constexpr BiText CompareWriteProject{"将工程写入装置", "Write project to device"};
inline constexpr BiText CompareClose{"关闭", "Close"};
inline constexpr BiText CompareNoDifferences{"没有差异", "No differences"};
inline constexpr BiText CompareReading{"正在读取装置配置…", "Reading the device's configuration…"};
// The value of a signal row that one side does not have.
inline constexpr BiText CompareAbsent{"（无）", "(none)"};
inline constexpr BiText CliCompareEqual{"工程与装置一致", "The project and the device are equal"};

// ---- event export ----
inline constexpr BiText MenuExportCsv{"导出 CSV…", "Export CSV…"};
inline constexpr BiText ExportCsvCaption{"导出 CSV", "Export CSV"};
inline constexpr BiText ExportCsvFilter{"CSV 文件 (*.csv)", "CSV files (*.csv)"};
inline constexpr BiText ExportCsvFailed{"无法写入文件", "Can not write the file"};
inline constexpr BiText ExportCsvNothing{"没有可导出的事件", "There are no events to export"};

// ---- clock offset; printf formats with the seconds ----
inline constexpr BiText ClockBehind{"装置慢 %.1f 秒", "device is %.1f s behind"};
inline constexpr BiText ClockAhead{"装置快 %.1f 秒", "device is %.1f s ahead"};
inline constexpr BiText ClockInStep{"装置与电脑时钟一致", "device agrees with the PC clock"};
// From a minute on: the span's parts joined by blanks, from the largest one that is not 0.
inline constexpr BiText ClockBehindSpan{"装置慢 %s", "device is %s behind"};
inline constexpr BiText ClockAheadSpan{"装置快 %s", "device is %s ahead"};
inline constexpr BiText ClockSpanDays{"%llu 天", "%llu d"};
inline constexpr BiText ClockSpanHours{"%d 小时", "%d h"};
inline constexpr BiText ClockSpanMinutes{"%d 分", "%d min"};
inline constexpr BiText ClockSpanSeconds{"%d 秒", "%d s"};
inline constexpr BiText CliClockOffset{"时差", "Offset"};

}  // namespace corvix::txt
