// SPDX-License-Identifier: Apache-2.0
// Catalog section: link texts. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// Give-up after the last resend went unanswered.
inline constexpr BiText CannotConnect{"串口不通!", "Can not connect to device"};
inline constexpr BiText CommCaption{"通讯提示", "Communication Error"};
// The worker could not write the whole frame.
inline constexpr BiText SendDataError{"数据发送出错!", "Send Data Error"};
// Configuration write acknowledged to the end; the English caption is the application name.
inline constexpr BiText WriteDataSuccess{"配置写入成功", "Write Data Success"};
inline constexpr BiText WriteSuccessCaption{"通讯提示", "Corvix"};
// Title suffix after a configuration read, the same in both languages.
inline constexpr const char* ConfigFromDeviceSuffix = "-装置中的配置";

// Event window: header line by date order, then the detail line.
inline constexpr BiText EventHeaderChina{"事件：%4d.%02d.%02d %02d:%02d:%02d.%03d\r\n",
                                         "Event：%4d.%02d.%02d %02d:%02d:%02d.%03d\r\n"};
inline constexpr BiText EventHeaderWorld{"事件：%02d.%02d.%4d %02d:%02d:%02d.%03d\r\n",
                                         "Event：%02d.%02d.%4d %02d:%02d:%02d.%03d\r\n"};
inline constexpr const char* EventDetailLead = "           ";  // eleven blanks
inline constexpr const char* EventDetailGap = "    ";          // four blanks
inline constexpr BiText EventOffToOn{"分->合", "Off->On"};
inline constexpr BiText EventOnToOff{"合->分", "On->Off"};

// Device and PC clock boxes.
inline constexpr const char* ClockChinaFormat = "%04d.%02d.%02d %02d:%02d:%02d";
inline constexpr const char* ClockWorldFormat = "%02d.%02d.%04d %02d:%02d:%02d";

}  // namespace corvix::txt

// ---- Serial port and link (opening, reopening) ----
namespace corvix::txt {

// The port opened but refused the settings, or the worker could not start.
inline constexpr BiText OpenPortError{"打开串口出错", "Open Serial Port Error"};
// Connect command failed.
inline constexpr BiText OpenPortErrorBang{"打开串口出错！", "Open serial port error"};
// Reopening after a port-name change failed.
inline constexpr BiText CannotOpenPort{"串口无法打开", "Can not open serial port"};
// Appended to the two texts above when the device exists but we lack the rights to it;
// both %s are the name of the group that owns the device.
inline constexpr BiText PortAccessAdvice{
    "\n\n没有使用该串口的权限。请把当前用户加入拥有该设备的用户组 %s（例如：sudo usermod -aG %s "
    "$USER），然后重新登录。",
    "\n\nYou have no permission to use this port. Add your user to the group that owns the device, %s "
    "(for example: sudo usermod -aG %s $USER), then log in again."};
// Appended to the same texts when another program holds the port; %s names it: "name (PID n)".
inline constexpr BiText PortInUseBy{"\n\n串口已被占用：%s 正在使用它。", "\n\nPort in use: %s holds it."};
inline constexpr BiText PortInUse{"\n\n串口已被其他程序占用。", "\n\nPort in use by another program."};

}  // namespace corvix::txt

// ---- Command-line device commands ----
namespace corvix::txt {

inline constexpr BiText CliFirmware{"装置版本号", "Firmware"};
inline constexpr BiText CliNewEvents{"新事件", "New events"};
inline constexpr BiText CliYes{"有", "yes"};
inline constexpr BiText CliNo{"无", "no"};
inline constexpr BiText CliUpdatedDevices{"已更新的装置", "Updated devices"};
// %d: the address of the device that answered.
inline constexpr BiText CliNoDeviceMatched{"工程中没有地址为 %d 的装置，文件未改动",
                                           "No device of the project has address %d; the file is unchanged"};
// The device answered, but not with what the command asked for.
inline constexpr BiText CliNoReply{"装置没有回答该请求", "The device did not answer the request"};
// An event-log segment claimed more events than a segment can hold.
inline constexpr BiText CliEventLogRefused{"装置的事件记录无效，文件未改动",
                                           "The device's event log was invalid; the file is unchanged"};

}  // namespace corvix::txt

// ---- Communication log ----
namespace corvix::txt {

// What a received block is, as its log header line says.
inline constexpr BiText VerdictGood{"校验正确", "checksum good"};
inline constexpr BiText VerdictBadChecksum{"校验错误", "checksum bad"};
inline constexpr BiText VerdictTooShort{"过短", "too short"};
inline constexpr BiText VerdictBadStart{"起始字节错误", "wrong start byte"};
inline constexpr BiText VerdictIncomplete{"不完整", "incomplete"};
inline constexpr BiText VerdictBadEnd{"结束字节错误", "wrong end byte"};
// The communication bar's context menu.
inline constexpr BiText LogSave{"保存日志(&S)...", "&Save Log..."};
inline constexpr BiText LogClear{"清除(&C)", "&Clear"};
inline constexpr BiText LogTimeStamps{"时间戳(&T)", "&Time Stamps"};
inline constexpr BiText LogAutomatic{"自动日志(&A)", "&Automatic Log"};
inline constexpr BiText LogSaveTitle{"保存通讯日志", "Save Communication Log"};
inline constexpr BiText LogFileFilter{"日志文件 (*.log *.txt);;所有文件 (*)", "Log files (*.log *.txt);;All files (*)"};
inline constexpr BiText LogCaption{"通讯日志", "Communication Log"};
// %s: the file's path, then the system's reason.
inline constexpr BiText LogSaveFailed{"无法保存日志文件 %s：%s", "Cannot save the log file %s: %s"};
inline constexpr BiText LogAutoFailed{"无法写入自动日志文件 %s：%s\n通讯继续进行，之后的记录会再次尝试写入。",
                                      "Cannot write the automatic log file %s: %s\n"
                                      "The link goes on; later entries are tried again."};

}  // namespace corvix::txt
