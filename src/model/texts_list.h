// SPDX-License-Identifier: Apache-2.0
// Catalog section: list texts. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// Column titles.
inline constexpr BiText ListColNumber{"序号", "Number"};
inline constexpr BiText ListColName{"名称", "Name"};
inline constexpr BiText ListColDesignation{"名称", "Designation"};
inline constexpr BiText ListColAssignment{"名称", "Assignment"};
inline constexpr BiText ListColData{"数值", "Data"};
inline constexpr BiText ListColAddressData{"数值(1-254)", "Data(1-254)"};
inline constexpr BiText ListColSignalDefinition{"信息定义", "Assignment"};
inline constexpr BiText ListColState{"状态", "State"};
inline constexpr BiText ListColTime{"时间", "Time"};
inline constexpr BiText ListColOperation{"状态", "Operation"};
inline constexpr BiText ListColBlank{" ", " "};

// Row names.
inline constexpr BiText ListRowDeviceAddress{"装置地址", "Device Address"};
inline constexpr BiText ListRowBaudRate{"波特率", "Baud rate"};
inline constexpr BiText ListRowDataBits{"数据位", "Data bits"};
inline constexpr BiText ListRowStopBits{"停止位", "Stop bits"};
inline constexpr BiText ListRowParity{"校验方式", "Parity"};
inline constexpr BiText ListRowProtocol{"通讯协议", "Protocol"};
inline constexpr BiText ListRowTimeSync{"对时方式", "Source of time synchronization"};
inline constexpr BiText ListRowCpuFailure{"CPU 出错", "CPU Failure"};
// printf format with the 1-based signal number.
inline constexpr BiText ListSignalDesignation{"开关量%d", "Binary%d"};

// Entries of the baud-rate and data-bits choices (the other code texts are the model's).
inline constexpr BiText ListBaudRates[] = {
    {"4800", "4800"}, {"9600", "9600"}, {"19200", "19200"}, {"57600", "57600"}, {"115200", "115200"}};
inline constexpr BiText ListDataBits[] = {{"8", "8"}, {"9", "9"}};

// Input states 0 and 1, then the text for any other value (spelling kept as users know it).
inline constexpr BiText ListStateOff{"断开", "Off"};
inline constexpr BiText ListStateOn{"合上", "On"};
inline constexpr BiText ListStateUnknown{"未知", "Unkown"};

inline constexpr BiText ListExecute{"执行", "Execute"};

// Context menus.
inline constexpr BiText ListMenuCut{"剪切(X)", "Cut(X)"};
inline constexpr BiText ListMenuCopy{"复制(C)", "Copy(C)"};
inline constexpr BiText ListMenuPaste{"粘贴(V)", "Paste(V)"};
inline constexpr BiText ListMenuDelete{"删除(D)", "Delete(D)"};
inline constexpr BiText ListMenuAddItem{"添加新项", "Add New Item"};
inline constexpr BiText ListMenuRefresh{"刷新", "Refresh"};
inline constexpr BiText ListMenuOutput{"开出", "DO Output"};

// Accessible names of the in-place editors.
inline constexpr BiText ListAccCellEdit{"数值编辑框", "Value edit box"};
inline constexpr BiText ListAccCellCombo{"数值选择框", "Value choice box"};

}  // namespace corvix::txt
