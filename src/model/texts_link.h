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
