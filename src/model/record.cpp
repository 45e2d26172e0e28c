// SPDX-License-Identifier: Apache-2.0
#include "model/record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/gbk.h"

namespace corvix {
namespace {

// Copies the text held in a fixed source field (which may lack its NUL) into another field.
void CopyFieldToField(char* dst, int dstWidth, const char* src, int srcWidth) {
    if (dst == src) return;
    std::string text = FieldText(src, srcWidth);
    CopyTextField(dst, dstWidth, text.c_str());
}

const std::string& ChineseFormat(bool output) {
    // Default names are stored as GBK bytes; converted once, they never change.
    static const std::string in = Utf8ToGbk("矩阵输入");
    static const std::string out = Utf8ToGbk("矩阵输出");
    return output ? out : in;
}

}  // namespace

void CopyTextField(char* field, int width, const char* textGbk) {
    if (field == nullptr || width <= 0) return;
    if (textGbk == nullptr) textGbk = "";
    std::string_view text(textGbk);
    std::size_t n = GbkPrefixLength(text, static_cast<std::size_t>(width - 1));
    std::memmove(field, text.data(), n);
    field[n] = '\0';
}

void InitialiseNewDevice(DeviceRecord& rec, const char* nameGbk, int uiLanguage) {
    CopyTextField(rec.name, DeviceNameSize, nameGbk);
    rec.eventCount = 0;
    rec.signalCount = NewDeviceSignalCount;
    const bool english = IsEnglish(uiLanguage);
    for (int i = 0; i < NewDeviceSignalCount; ++i) {
        const bool output = i >= 54;
        const int number = output ? i - 53 : i + 1;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%02d", number);
        std::string text;
        if (english)
            text = std::string(output ? "matrix out" : "matrix in") + digits;
        else
            text = ChineseFormat(output) + digits;
        CopyTextField(rec.signalNames[i], SignalNameSize, text.c_str());
    }
    rec.address = 1;
    rec.timeSync = TimeSyncIrigB;
    rec.baudRate[0] = rec.baudRate[1] = 19200;
    rec.dataBits[0] = rec.dataBits[1] = 8;
    rec.stopBits[0] = rec.stopBits[1] = StopBits1;
    rec.parity[0] = rec.parity[1] = ParityEven;
    rec.protocol[0] = rec.protocol[1] = ProtocolIec103;
}

void InsertSignalName(DeviceRecord& rec, int position, const char* textGbk) {
    const int count = rec.SignalCountClamped();
    if (position < 0 || position > count) return;
    if (count >= MaxSignalNames) return;  // the list is full: there is no entry 72
    for (int k = count - 1; k >= position; --k)
        CopyFieldToField(rec.signalNames[k + 1], SignalNameSize, rec.signalNames[k], SignalNameSize);
    CopyTextField(rec.signalNames[position], SignalNameSize, textGbk);
    rec.signalCount = static_cast<uint16_t>(count + 1);
}

void RemoveSignalName(DeviceRecord& rec, int position) {
    const int count = rec.SignalCountClamped();
    if (position < 0 || position >= count) return;
    for (int k = position; k <= count - 2; ++k)
        CopyFieldToField(rec.signalNames[k], SignalNameSize, rec.signalNames[k + 1], SignalNameSize);
    rec.signalCount = static_cast<uint16_t>(count - 1);
}

}  // namespace corvix
