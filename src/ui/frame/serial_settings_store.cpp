// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/serial_settings_store.h"

#include <QFile>
#include <QSettings>

#include "link/settings_check.h"

namespace corvix::ui {

namespace {

const char* const Group = "Serial";
const char* const PortKey = "PortName";
const char* const BaudKey = "BaudRate";
const char* const DataBitsKey = "DataBits";
const char* const ParityKey = "Parity";
const char* const StopBitsKey = "StopBits";

// A whole decimal number; anything else (a text, an empty entry, a fraction) leaves `value`.
void ReadInt(const QSettings& settings, const char* key, int& value) {
    bool ok = false;
    const int read = settings.value(key).toString().trimmed().toInt(&ok);
    if (ok) value = read;
}

}  // namespace

SerialSettings LoadSerialSettings(QSettings* settings) {
    SerialSettings line;
    if (!settings) return line;
    settings->beginGroup(Group);
    const QString port = settings->value(PortKey).toString();
    if (!port.isEmpty()) line.portName = QFile::encodeName(port).toStdString();
    // Out-of-range values are kept here and replaced below, so that each is judged alone.
    ReadInt(*settings, BaudKey, line.baudRate);
    ReadInt(*settings, DataBitsKey, line.dataBits);
    ReadInt(*settings, ParityKey, line.parity);
    ReadInt(*settings, StopBitsKey, line.stopBits);
    settings->endGroup();
    return ValidSerialSettings(line);
}

void StoreSerialSettings(QSettings* settings, const SerialSettings& line) {
    if (!settings) return;
    settings->beginGroup(Group);
    settings->setValue(PortKey, QFile::decodeName(line.portName.c_str()));
    settings->setValue(BaudKey, line.baudRate);
    settings->setValue(DataBitsKey, line.dataBits);
    settings->setValue(ParityKey, line.parity);
    settings->setValue(StopBitsKey, line.stopBits);
    settings->endGroup();
    settings->sync();
}

}  // namespace corvix::ui
