// SPDX-License-Identifier: Apache-2.0
// Catalog section: the settings report (its headings and facts, the menu item, the save
// dialog and its messages). Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- the report ----
inline constexpr BiText ReportTitle{"工程设置报告", "Project Settings Report"};
inline constexpr BiText ReportProjectName{"工程名称", "Project name"};
inline constexpr BiText ReportFile{"工程文件", "Project file"};
// A project that was never written to a file (new, or read from a device).
inline constexpr BiText ReportNoFile{"（未保存到文件）", "(not saved to a file)"};
inline constexpr BiText ReportCreated{"报告时间", "Report date and time"};
inline constexpr BiText ReportProgramVersion{"程序版本", "Program version"};
inline constexpr BiText ReportDeviceCount{"装置数量", "Devices"};
// printf format with the 1-based device number.
inline constexpr BiText ReportDeviceHeading{"装置 %d", "Device %d"};
inline constexpr BiText ReportDeviceName{"装置名称", "Device name"};
inline constexpr BiText ReportDeviceType{"机器型号", "Device type"};
inline constexpr BiText ReportSerialNumber{"机器序列号", "Serial number"};
inline constexpr BiText ReportContents{"目录", "Contents"};
inline constexpr BiText ReportNoDevices{"工程中没有装置。", "The project holds no devices."};
inline constexpr BiText ReportEmptyPage{"（无）", "(none)"};

// ---- the command ----
inline constexpr BiText MenuExportReport{"导出报告…", "Export Report…"};
inline constexpr BiText ReportDialogCaption{"导出报告", "Export Report"};
// Filter texts of the save dialog; the patterns decide the format.
inline constexpr const char* ReportFilterHtml = "HTML (*.html)";
inline constexpr const char* ReportFilterPdf = "PDF (*.pdf)";
// The settings workbook: one sheet per device.
inline constexpr const char* ReportFilterXlsx = "XLSX (*.xlsx)";
inline constexpr BiText ReportNoProject{"没有打开的工程，无法导出报告。",
                                        "There is no open project to report."};
inline constexpr BiText ReportWriting{"正在写入报告…", "Writing the report…"};
// Followed by the path.
inline constexpr BiText ReportWriteFailed{"报告无法写入：", "The report could not be written: "};
// Followed by the path.
inline constexpr BiText ReportNoPdfWriter{"此程序没有 PDF 输出，无法写入：",
                                          "This program has no PDF writer, cannot write: "};
// Followed by the paths looked at.
inline constexpr BiText ReportPdfWriterMissing{
    "找不到 PDF 输出程序 corvix-report-pdf，报告未写入。已查找：",
    "The PDF writer program corvix-report-pdf was not found, the report was not written. Looked for: "};
// printf format with the writer's exit status (128 + the signal that ended it); followed by the path.
inline constexpr BiText ReportPdfWriterFailed{"PDF 输出程序 corvix-report-pdf 异常结束（状态 %d），报告未写入：",
                                              "The PDF writer program corvix-report-pdf failed (status %d), "
                                              "the report was not written: "};

}  // namespace corvix::txt
