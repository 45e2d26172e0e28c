// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the clock window's typed time: any text, in either date order, read into
// the fields the device is set to. The first input byte chooses the order; the rest is the
// text as UTF-8 (invalid sequences included).
//
// Each field reads only its own characters, so it stays within what they can say: the year
// -999..9999, every other field -9..99.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "link/engine.h"
#include "model/record.h"
#include "ui/dialogs/dlgtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvix;
    if (size < 1) return 0;
    const int order = (data[0] & 1) != 0 ? DateWorld : DateChina;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    LocalTime t;
    t.dayOfWeek = 3;
    t.millisecond = 456;
    ReadClockEntry(text, order, t);
    if (t.year < -999 || t.year > 9999) __builtin_trap();
    for (int field : {t.month, t.day, t.hour, t.minute, t.second})
        if (field < -9 || field > 99) __builtin_trap();
    if (t.dayOfWeek != 3 || t.millisecond != 456) __builtin_trap();  // not read from the text
    return 0;
}
