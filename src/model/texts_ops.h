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
