// SPDX-License-Identifier: Apache-2.0
// Device configuration record, event record and the project block: fixed byte layouts
// shared with the device (configuration image) and with the project file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace corvix {

static_assert(std::endian::native == std::endian::little,
              "records are stored and exchanged as little-endian bytes");

inline constexpr int MaxDevices = 20;
inline constexpr int ConfigImageSize = 2484;
inline constexpr int DeviceRecordSize = 30488;
inline constexpr int MaxSignalNames = 72;
inline constexpr int MaxEvents = 500;
inline constexpr int EventRecordSize = 56;
inline constexpr int SignalNameSize = 32;
inline constexpr int DeviceNameSize = 100;
inline constexpr int ProjectNameSize = 100;
inline constexpr int DeviceTypeSize = 16;
inline constexpr int SerialNumberSize = 20;
inline constexpr int ProjectBlockSize = 609868;
inline constexpr int ProjectFileSize = 609872;
inline constexpr uint32_t ProjectMagic = 5555;
inline constexpr int NewDeviceSignalCount = 65;

enum PortProtocol : uint8_t { ProtocolIec103 = 0, ProtocolModbusRtu = 1 };
enum TimeSyncSource : uint8_t { TimeSyncIrigB = 0, TimeSyncProtocol = 1, TimeSyncNone = 2 };
enum StopBitsCode : uint8_t { StopBits1 = 0, StopBits1_5 = 1, StopBits2 = 2 };
enum ParityCode : uint8_t { ParityNone = 0, ParityEven = 1, ParityOdd = 2 };

// UiLanguage: 0 Chinese, any other value English.
inline constexpr int LangChinese = 0;
inline constexpr int LangEnglish = 1;
inline bool IsEnglish(int uiLanguage) { return uiLanguage != 0; }

// DateFormat
inline constexpr int DateChina = 0;  // year.month.day
inline constexpr int DateWorld = 1;  // day.month.year

struct EventRecord {
    uint8_t reserved0[4];
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t unused11;
    uint16_t millisecond;
    uint8_t unused14[2];
    uint8_t transition;  // 0: off->on, other: on->off
    uint8_t risingMark;
    char signalName[32];
    uint8_t unused50[2];
    uint8_t reserved52[4];
};

static_assert(sizeof(EventRecord) == EventRecordSize);
static_assert(offsetof(EventRecord, year) == 4);
static_assert(offsetof(EventRecord, month) == 6);
static_assert(offsetof(EventRecord, day) == 7);
static_assert(offsetof(EventRecord, hour) == 8);
static_assert(offsetof(EventRecord, minute) == 9);
static_assert(offsetof(EventRecord, second) == 10);
static_assert(offsetof(EventRecord, millisecond) == 12);
static_assert(offsetof(EventRecord, transition) == 16);
static_assert(offsetof(EventRecord, risingMark) == 17);
static_assert(offsetof(EventRecord, signalName) == 18);
static_assert(offsetof(EventRecord, reserved52) == 52);

struct DeviceRecord {
    char name[DeviceNameSize];
    uint8_t reserved[20];
    char deviceType[DeviceTypeSize];
    char serialNumber[SerialNumberSize];
    int16_t address;
    uint8_t protocol[2];
    uint8_t timeSync;
    uint8_t padding[3];
    uint32_t baudRate[2];
    uint8_t dataBits[2];
    uint8_t stopBits[2];
    uint8_t parity[2];
    uint16_t signalCount;
    char signalNames[MaxSignalNames][SignalNameSize];
    int32_t eventCount;
    EventRecord events[MaxEvents];

    // Counts as stored may be anything a file or device handed us; use these for indexing.
    int SignalCountClamped() const { return signalCount > MaxSignalNames ? MaxSignalNames : signalCount; }
    int EventCountClamped() const {
        return eventCount < 0 ? 0 : (eventCount > MaxEvents ? MaxEvents : eventCount);
    }
};

static_assert(sizeof(DeviceRecord) == DeviceRecordSize);
static_assert(offsetof(DeviceRecord, reserved) == 100);
static_assert(offsetof(DeviceRecord, deviceType) == 120);
static_assert(offsetof(DeviceRecord, serialNumber) == 136);
static_assert(offsetof(DeviceRecord, address) == 156);
static_assert(offsetof(DeviceRecord, protocol) == 158);
static_assert(offsetof(DeviceRecord, timeSync) == 160);
static_assert(offsetof(DeviceRecord, padding) == 161);
static_assert(offsetof(DeviceRecord, baudRate) == 164);
static_assert(offsetof(DeviceRecord, dataBits) == 172);
static_assert(offsetof(DeviceRecord, stopBits) == 174);
static_assert(offsetof(DeviceRecord, parity) == 176);
static_assert(offsetof(DeviceRecord, signalCount) == 178);
static_assert(offsetof(DeviceRecord, signalNames) == 180);
static_assert(offsetof(DeviceRecord, eventCount) == ConfigImageSize);
static_assert(offsetof(DeviceRecord, events) == 2488);

struct ProjectBlock {
    int32_t projectOpen;
    int32_t deviceCount;
    char projectName[ProjectNameSize];
    DeviceRecord devices[MaxDevices];

    int DeviceCountClamped() const {
        return deviceCount < 0 ? 0 : (deviceCount > MaxDevices ? MaxDevices : deviceCount);
    }
};

static_assert(sizeof(ProjectBlock) == ProjectBlockSize);
static_assert(offsetof(ProjectBlock, deviceCount) == 4);
static_assert(offsetof(ProjectBlock, projectName) == 8);
static_assert(offsetof(ProjectBlock, devices) == 108);

// Record operations (record.cpp).
void InitialiseNewDevice(DeviceRecord& rec, const char* nameGbk, int uiLanguage);
void InsertSignalName(DeviceRecord& rec, int position, const char* textGbk);
void RemoveSignalName(DeviceRecord& rec, int position);

// Copies a NUL-terminated GBK text into a fixed field, cut to width-1 bytes without
// splitting a double-byte character; bytes after the terminator are left as they were.
void CopyTextField(char* field, int width, const char* textGbk);

}  // namespace corvix
