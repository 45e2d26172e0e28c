// SPDX-License-Identifier: Apache-2.0
// Catalog section: model texts. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// Document name and caption of every message box.
inline constexpr const char* AppName = "Corvix";

inline constexpr BiText NewProjectName{"新工程", "new project"};
inline constexpr BiText FirstDeviceName{"1", "1"};

// Project file messages.
inline constexpr BiText CannotOpenFile{"文件打不开", "Can not open file"};
inline constexpr BiText FileFormatError{"配置文件格式不符", "file format error"};
inline constexpr BiText OpenFileError{"文件打不开", "Open file error"};
// A write that fails after the file was opened (disk full, rename refused); the previous
// file stays as it was.
inline constexpr BiText WriteFileError{"文件写入错误", "File write error"};
// A project that already holds the largest number of devices.
inline constexpr BiText ProjectFull{"工程中装置已满（最多20个）", "The project is full (20 devices at most)"};

// Enumerations of the device record.
inline constexpr BiText PortProtocolTexts[] = {
    {"IEC 60870-5-103", "IEC 60870-5-103"},
    {"Modbus RTU", "Modbus RTU"},
};
inline constexpr BiText TimeSyncTexts[] = {
    {"B码对时", "IRIG B"},
    {"协议对时", "Protocol"},
    {"无对时", "None"},
};
inline constexpr BiText StopBitsTexts[] = {{"1", "1"}, {"1.5", "1.5"}, {"2", "2"}};
inline constexpr BiText ParityTexts[] = {{"NONE", "NONE"}, {"EVEN", "EVEN"}, {"ODD", "ODD"}};
inline constexpr BiText TransitionOffOn{"分->合", "Off->On"};
inline constexpr BiText TransitionOnOff{"合->分", "On->Off"};

namespace detail {
template <int N>
inline const char* CodeText(const BiText (&list)[N], int code, int uiLanguage) {
    return code >= 0 && code < N ? Pick(list[code], uiLanguage) : nullptr;
}
}  // namespace detail

// Texts of the codes; a code outside its list has no text (nullptr).
inline const char* PortProtocolText(int code, int uiLanguage) {
    return detail::CodeText(PortProtocolTexts, code, uiLanguage);
}
inline const char* TimeSyncText(int code, int uiLanguage) {
    return detail::CodeText(TimeSyncTexts, code, uiLanguage);
}
inline const char* StopBitsText(int code, int uiLanguage) {
    return detail::CodeText(StopBitsTexts, code, uiLanguage);
}
inline const char* ParityText(int code, int uiLanguage) {
    return detail::CodeText(ParityTexts, code, uiLanguage);
}
// Only 0 means off->on; every other value is on->off.
inline const char* TransitionText(int transition, int uiLanguage) {
    return Pick(transition == 0 ? TransitionOffOn : TransitionOnOff, uiLanguage);
}

}  // namespace corvix::txt
