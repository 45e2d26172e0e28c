// SPDX-License-Identifier: Apache-2.0
// Catalog section: per-device connections and operations over all devices of a project.
// Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- the connections file beside a project ----
// %s: the connections file, %s: what is wrong with it.
inline constexpr BiText ConnectionsCorrupt{
    "连接设置文件 %s 无法使用（%s），所有装置使用公共端口。",
    "The connections file %s cannot be used (%s); every device uses the common port."};
inline constexpr BiText ConnectionsWriteFailed{"连接设置文件 %s 无法写入：%s",
                                              "The connections file %s could not be written: %s"};
inline constexpr BiText ConnectionsCommonPort{"公共端口", "common port"};
inline constexpr BiText ConnectionsNone{"所有装置使用公共端口。", "Every device uses the common port."};

// ---- states of a device in an operation (DeviceOpState order) ----
inline constexpr BiText OpStates[] = {
    {"等待", "waiting"}, {"连接中", "connecting"}, {"进行中", "working"},
    {"完成", "done"},    {"失败", "failed"},       {"跳过", "skipped"},
};

// ---- why a device failed or was skipped (DeviceOpFailure order); %d / %s as noted ----
inline constexpr BiText OpFailures[] = {
    {"", ""},
    {"无法打开端口 %s", "the port %s could not be opened"},
    {"装置无应答", "the device did not answer"},
    {"发送失败", "the frame could not be sent"},
    {"装置的应答无法使用", "the device's answer cannot be used"},
    {"连接中断", "the link was lost"},
    {"电缆所连装置的地址为 %d", "the device at the cable answered with address %d"},
    {"已取消", "cancelled"},
    {"由用户跳过", "skipped by the user"},
};

// ---- results of a device (operation fields) ----
inline constexpr BiText OpResultRead{"已读取配置", "configuration read"};
inline constexpr BiText OpResultEqual{"与装置一致", "equal to the device"};
inline constexpr BiText OpResultDiffers{"%d 处不同", "%d differences"};
inline constexpr BiText OpResultWritten{"已写入配置", "configuration written"};
inline constexpr BiText OpResultOffset{"%s", "%s"};
inline constexpr BiText OpResultClockSet{"已设置时钟；%s", "clock set; %s"};
inline constexpr BiText OpResultEvents{"%d 条事件", "%d events"};
// %d done, %d failed, %d skipped, %d in all.
inline constexpr BiText OpSummary{"完成 %d，失败 %d，跳过 %d，共 %d", "%d done, %d failed, %d skipped, %d in all"};

// ---- guided on one cable ----
// %s: the device's name, %d: its address.
inline constexpr BiText OpGuidePrompt{"请将电缆连接到装置«%s»（地址 %d），然后按继续",
                                      "Connect the cable to device «%s» (address %d), then press Continue"};
inline constexpr BiText OpGuideContinue{"继续", "Continue"};
inline constexpr BiText OpGuideSkip{"跳过", "Skip"};
inline constexpr BiText OpGuideCancel{"取消", "Cancel"};

// ---- command line ----
inline constexpr BiText CliOpNotStored{"有装置未完成，工程文件未修改（--partial 可保存已读取的装置）。",
                                       "Not every device was read; the project file is unchanged (--partial stores the devices that were)."};
inline constexpr BiText CliOpWriteNeedsYes{"写入全部装置需要 --yes。将写入：",
                                           "Writing to the devices needs --yes. It would write:"};

}  // namespace corvix::txt

namespace corvix::txt {

// ---- the merged timeline of all devices' events ----
inline constexpr BiText OpColDevice{"装置", "Device"};
inline constexpr BiText OpColAddress{"地址", "Address"};
inline constexpr BiText OpColPort{"端口", "Port"};
inline constexpr BiText OpColProgress{"进度", "Progress"};
inline constexpr BiText OpColState{"状态", "State"};
inline constexpr BiText OpColResult{"结果", "Result"};
inline constexpr BiText OpColTime{"用时", "Time"};

}  // namespace corvix::txt

namespace corvix::txt {

// ---- the window: Project menu, operations window, connection dialog ----
inline constexpr BiText MenuReadAll{"读取全部装置", "Read All Devices"};
inline constexpr BiText MenuCompareAll{"全部与装置比较", "Compare All With Devices"};
inline constexpr BiText MenuWriteAll{"写入全部装置…", "Write All Devices…"};
inline constexpr BiText MenuClockCheckAll{"检查全部时钟", "Clock Check"};
inline constexpr BiText MenuClockSetAll{"设置全部时钟", "Set All Clocks"};
inline constexpr BiText MenuEventLogsAll{"读取全部事件记录", "Read All Event Logs"};
inline constexpr BiText MenuConnection{"连接设置…", "Connection…"};
// Window titles by ProjectOpKind.
inline constexpr BiText OpTitles[] = {
    {"读取全部装置", "Read All Devices"},   {"全部与装置比较", "Compare All With Devices"},
    {"写入全部装置", "Write All Devices"},  {"检查全部时钟", "Clock Check"},
    {"设置全部时钟", "Set All Clocks"},     {"读取全部事件记录", "Read All Event Logs"},
};
inline constexpr BiText OpCancel{"取消", "Cancel"};
inline constexpr BiText OpRetryFailed{"重试失败项", "Retry Failed"};
inline constexpr BiText OpClose{"关闭", "Close"};
inline constexpr BiText OpWriteConfirm{"将以下装置的配置写入装置：\n\n%s\n继续吗？",
                                       "Write the configuration of these devices to them:\n\n%s\nContinue?"};
inline constexpr BiText OpGuideTitle{"连接电缆", "Connect the Cable"};
inline constexpr BiText ConnDlgTitle{"连接设置", "Connection"};
inline constexpr BiText ConnDlgUseCommon{"使用公共端口", "Use the common port"};
inline constexpr BiText ConnDlgPort{"端口", "Port"};
inline constexpr BiText ConnDlgBaud{"波特率", "Baud rate"};
inline constexpr BiText ConnDlgDataBits{"数据位", "Data bits"};
inline constexpr BiText ConnDlgParity{"校验", "Parity"};
inline constexpr BiText ConnDlgStopBits{"停止位", "Stop bits"};
inline constexpr BiText ConnDlgParities[] = {{"无", "None"}, {"偶", "Even"}, {"奇", "Odd"}};

}  // namespace corvix::txt

namespace corvix::txt {

// ---- All Events ----
inline constexpr BiText MenuAllEvents{"全部事件", "All Events"};
inline constexpr BiText AllEventsCorrect{"按时钟偏差校正时间", "Correct times by the clock offsets"};
inline constexpr BiText AllEventsExport{"导出 CSV…", "Export CSV…"};
inline constexpr BiText AllEventsRefresh{"刷新", "Refresh"};
// After a device's name when its clock is more than a second off the PC's.
inline constexpr BiText AllEventsOffsetMark{"（时钟偏差 > 1 秒）", " (clock off by more than 1 s)"};

}  // namespace corvix::txt
