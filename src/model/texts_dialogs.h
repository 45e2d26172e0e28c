// SPDX-License-Identifier: Apache-2.0
// Catalog section: dialogs texts (serial settings, clock window, event window, password,
// device information and user guide). Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- buttons shared by the modal dialogs ----
inline constexpr BiText DlgOk{"确认", "OK"};
inline constexpr BiText DlgCancel{"取消", "CANCEL"};

// ---- PC serial port settings ----
inline constexpr BiText CommDlgCaption{"串口设置", "PC Serial Port Parameters"};
inline constexpr BiText CommDlgPort{"端口号", "PC Port"};
inline constexpr BiText CommDlgBaudRate{"波特率", "Baud Rate"};
inline constexpr BiText CommDlgDataBits{"数据位", "Data Bits"};
inline constexpr BiText CommDlgParity{"校验方式", "Parity"};
inline constexpr BiText CommDlgStopBits{"停止位", "Stop Bits"};
// List items, the same in both languages, in the order shown.
inline constexpr const char* BaudRateItems[] = {"300",   "600",   "1200",  "2400",  "4800",  "9600",
                                                "14400", "19200", "38400", "57600", "115200"};
inline constexpr const char* DataBitsItems[] = {"5", "6", "7", "8"};
inline constexpr const char* ParityItems[] = {"NONE", "EVEN", "ODD"};
inline constexpr const char* StopBitsItems[] = {"1", "1.5", "2"};

// ---- clock window ----
inline constexpr BiText TimeDlgCaption{"时间设置", "Interl CLock"};
inline constexpr BiText TimeDlgFormatGroup{"日期格式选择", "Time Format"};
inline constexpr BiText TimeDlgChina{"中式", "China"};
inline constexpr BiText TimeDlgWorld{"欧式", "World"};
inline constexpr BiText TimeDlgDeviceGroup{"装置时间", "Device Time"};
inline constexpr BiText TimeDlgPcGroup{"系统时间", "PC Internal Clock"};
inline constexpr BiText TimeDlgUsePcClock{"采用系统时钟", "Use PC Internal Clock"};
inline constexpr BiText TimeDlgSet{"设置", "Set"};
inline constexpr BiText TimeDlgQuit{"退出", "Quit"};
// Format hints. The English China hint shown when the window opens has an ordinary blank
// between date and time; every other hint has the ideographic space.
inline constexpr BiText TimeHintChinaAtOpen{"格式：年.月.日　时：分：秒", "mode：yyyy.mm.dd hh.mm.ss"};
inline constexpr BiText TimeHintWorldAtOpen{"格式：日.月.年　时：分：秒", "mode：dd.mm.yyyy　hh.mm.ss"};
inline constexpr BiText TimeHintChina{"格式：年.月.日　时：分：秒", "mode：yyyy.mm.dd　hh.mm.ss"};
inline constexpr BiText TimeHintWorld{"格式：日.月.年　时：分：秒", "mode：dd.mm.yyyy　hh.mm.ss"};

// ---- event window ----
inline constexpr BiText InfoDlgCaption{"信息显示", "Information"};
inline constexpr BiText InfoDlgNoEject{"不主动弹出", "No Eject"};
inline constexpr BiText InfoDlgHide{"隐藏", "Hide"};
inline constexpr BiText InfoDlgClear{"清除", "Clear"};
// What Clear leaves in the text box.
inline constexpr const char* InfoDlgClearedText = "  \r\n";

// ---- password ----
inline constexpr BiText PwDlgCaption{"请输入密码", "Please Input Password"};
// The service access code, compared byte for byte.
inline constexpr const char* ServicePassword = "KTZ";

// ---- device information ----
inline constexpr BiText MacInfoCaption{"机器信息设置", "Decice Informatiom"};
inline constexpr BiText MacInfoDeviceType{"机器型号", "Device Type"};
inline constexpr BiText MacInfoSerialNumber{"机器序列号", "Device SerialNum"};

// ---- user guide ----
inline constexpr BiText GuideCaption{"使用说明", "User Guide"};
inline constexpr BiText GuideRoot{"使用说明", "Content"};
inline constexpr BiText GuideDeviceInfo{"机器信息", "Device Info"};
inline constexpr BiText GuideDeviceOption{"系统菜单", "Device Option"};
inline constexpr BiText GuideProjectOption{"工程菜单", "Project Option"};
inline constexpr BiText GuideViewOption{"视图菜单", "View Option"};
// Device Info page: label of each line, followed by its value; lines joined by "\r\n".
inline constexpr BiText GuideLabelDeviceType{"    机器型号:    ", "    MLFB:    "};
inline constexpr BiText GuideLabelSerialNumber{"    机器序列号:", "    Serial No.:"};
inline constexpr BiText GuideLabelFirmware{"    装置版本号:", "    Firmware:"};
inline constexpr BiText GuideLabelProgram{"    Corvix版本号:", "    Corvix:"};
inline constexpr const char* VersionFormat = "%02d.%02d.%02d";
// Text of the root and of any item without a page.
inline constexpr const char* GuideBlank = " ";

// Menu pages: the pieces of each page, joined in order (each ends in "\r\n").
inline constexpr const char* GuideDeviceOptionZh[] = {
    "            系统菜单主要是:\r\n",
    "[通讯设置]:设置与装置通讯的串口数据\r\n",
    "[串口连接]:启动通讯线程，与装置联机\r\n",
    "[串口断开]:关闭通讯线程\r\n",
    "[时钟设置]:设定时间显示格式，设置装置时钟\r\n",
    "[退出]:　   退出本程序\r\n",
    " 注意：退出前，应断开串口连接\r\n",
};
inline constexpr const char* GuideProjectOptionZh[] = {
    "            工程菜单主要是：\r\n",
    "[创建工程]:创建一个新工程，一个工程可以包括好几个装置.\r\n",
    "[工程导入]:打开一个保存在PC机上的工程.\r\n",
    "[工程导出]:将现有工程保存至PC机\r\n",
};
inline constexpr const char* GuideViewOptionZh[] = {
    "          视图菜单主要是:\r\n",
    "[工具栏]:显示工具栏\r\n",
    "[状态栏]:显示状态栏，状态栏可显示串口连接信息\r\n",
    "[通讯栏]:显示通讯栏，通讯栏可显示通讯报文\r\n",
    "[信息显示]:显示事件信息\r\n",
    "[Enlish]:  可切换至英文菜单\r\n",
};
inline constexpr const char* GuideDeviceOptionEn[] = {
    "            Device Option:\r\n",
    "[PC Serial Port]:\r\n",
    "To set parameters of PC serial port which is used to connect with device.\r\n",
    "[Connect with Device]:\r\n",
    "To connect the device to PC via RS232 cable over rear panel Port C.\r\n",
    "[Disconnect with Device]:\r\n",
    "To disconnect the device to PC.\r\n",
    "[Internal Clock]:\r\n",
    "To set the time format and the device time clock\r\n",
    "Both China(yyyy.mm.dd) and World(dd.mm.yyyy) time format are supported\r\n",
    "The device time can be manually set or taken from PC internal clock.\r\n",
    "[Exit]:\r\n",
    "Quit the application and close the PC software Corvix.\r\n",
};
inline constexpr const char* GuideProjectOptionEn[] = {
    "            Project Option:\r\n",
    "[New Project]:\r\n",
    "To Create a new project which can be saved as separated file.\r\n",
    "[Import Project]:\r\n",
    "To import an existing project which is stored in your computer.\r\n",
    "[Export Project]:\r\n",
    "To export the current project and save as *.mac file.\r\n",
};
inline constexpr const char* GuideViewOptionEn[] = {
    "          View Option:\r\n",
    "[Tool Bar]:\r\n",
    "To enable the tool bar on the window.\r\n",
    "[Status Bar]:\r\n",
    "To enble the status bar on the window which display the PC serial port\r\n",
    "information.\r\n",
    "[PC connection Bar]:\r\n",
    "To enble the real-time display of PC serial communication with device.\r\n",
    "[Event Pop-up Window]:\r\n",
    "To activate the event pop-up window.\r\n",
    "[中文]:\r\n",
    "To switch the language to Chinese.\r\n",
};

// ---- accessible names of boxes without a label of their own ----
inline constexpr BiText AccPasswordEdit{"密码", "Password"};
inline constexpr BiText AccEventText{"事件信息", "Events"};
inline constexpr BiText AccGuideTree{"目录", "Topics"};
inline constexpr BiText AccGuideText{"说明", "Topic text"};

}  // namespace corvix::txt
