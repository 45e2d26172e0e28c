// SPDX-License-Identifier: Apache-2.0
// Catalog section: signal names to and from spreadsheets, and the settings workbook.
// Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- the signal-name sheet ----
inline constexpr BiText SheetColNumber{"序号", "Number"};
inline constexpr BiText SheetColName{"信息定义", "Signal name"};

// ---- the commands ----
inline constexpr BiText MenuImportSignals{"导入信息定义…", "Import Signal Names…"};
inline constexpr BiText MenuExportSignals{"导出信息定义…", "Export Signal Names…"};
inline constexpr BiText ImportSignalsCaption{"导入信息定义", "Import Signal Names"};
inline constexpr BiText ExportSignalsCaption{"导出信息定义", "Export Signal Names"};
// Filter texts of the file dialogs; the patterns decide the format.
inline constexpr const char* SheetFilterCsv = "CSV (*.csv)";
inline constexpr const char* SheetFilterXlsx = "XLSX (*.xlsx)";
inline constexpr BiText SheetFilterAll{"所有文件 (*)", "All Files (*)"};
// Followed by the path.
inline constexpr BiText SheetCannotRead{"文件无法读取：", "The file cannot be read: "};
inline constexpr BiText SheetWriteFailed{"文件无法写入：", "The file could not be written: "};

// ---- why an import is refused (nothing is changed) ----
inline constexpr BiText SheetEmpty{"文件中没有信息定义，未做任何修改。",
                                   "The file holds no signal names; nothing was changed."};
inline constexpr BiText SheetNotText{"文件不是 UTF-8 或 GBK 编码的文本（请另存为 CSV），未做任何修改。",
                                     "The file is not UTF-8 or GBK text (save it as CSV); nothing was changed."};
// printf formats: the row as a spreadsheet numbers it (the title row is row 1), then details.
inline constexpr BiText SheetOpenQuote{"第 %d 行：引号没有结束，未做任何修改。",
                                       "Row %d: a quoted field is not closed; nothing was changed."};
inline constexpr BiText SheetTextAfterQuote{"第 %d 行：引号后面还有文字，未做任何修改。",
                                            "Row %d: text follows a closing quote; nothing was changed."};
// Row, columns found.
inline constexpr BiText SheetColumnCount{"第 %d 行：应有 2 列（序号、信息定义），实有 %d 列，未做任何修改。",
                                         "Row %d: expected 2 columns (number, signal name), found %d; nothing "
                                         "was changed."};
// Row, the number expected there.
inline constexpr BiText SheetBadNumber{"第 %d 行：序号应为 %d，未做任何修改。",
                                       "Row %d: the number should be %d; nothing was changed."};
inline constexpr BiText SheetTooManyRows{"第 %d 行：一台装置最多有 72 个信息定义，未做任何修改。",
                                         "Row %d: a device holds at most 72 signal names; nothing was changed."};
inline constexpr BiText SheetNameTooLong{"第 %d 行：信息定义超过 31 字节（GBK 编码），未做任何修改。",
                                         "Row %d: the signal name is longer than 31 bytes in GBK; nothing was "
                                         "changed."};
inline constexpr BiText SheetNameNotGbk{"第 %d 行：信息定义含有 GBK 无法保存的字符，未做任何修改。",
                                        "Row %d: the signal name holds a character GBK cannot store; nothing "
                                        "was changed."};
inline constexpr BiText SheetNameControl{"第 %d 行：信息定义含有换行或控制字符，未做任何修改。",
                                         "Row %d: the signal name holds a line break or control character; "
                                         "nothing was changed."};

// ---- the settings workbook ----
inline constexpr BiText WorkbookProjectSheet{"工程", "Project"};

}  // namespace corvix::txt
