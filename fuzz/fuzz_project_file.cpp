// SPDX-License-Identifier: Apache-2.0
// Fuzz target for project files: parsing a whole file image, building the JSON view of
// whatever the block holds, the signal-name operations on records with arbitrary counts, and
// the text conversions and escaping that every name goes through.
//
// An input is one byte of choices followed by edits of a file image, each: offset (3 bytes,
// little-endian, taken modulo the file size), length (1 byte), then that many bytes. The image
// starts as a valid project of three devices (names in Chinese and English); the choices pick
// its size (exact, one byte short, one byte long), may break the magic number, and pick the
// record the signal-name operations work on. So an input of a few bytes is a whole 609872-byte
// file, and every field of every record is in reach without inputs of that size. The input
// itself is also parsed as a file, and its bytes go through the text conversions.
//
// libFuzzer build: cmake -DCORVIX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ (see scripts/fuzz.sh).
// ctest runs it through smoke_main.cpp over its seed corpus and a fixed input stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "model/gbk.h"
#include "model/project_file.h"
#include "model/project_json.h"
#include "model/record.h"

namespace {

using namespace corvix;

std::string BaseImage() {
    auto block = std::make_unique<ProjectBlock>();
    block->projectOpen = 1;
    block->deviceCount = 3;
    CopyTextField(block->projectName, ProjectNameSize, Utf8ToGbk("工程 project").c_str());
    InitialiseNewDevice(block->devices[0], Utf8ToGbk("泵站").c_str(), LangChinese);
    InitialiseNewDevice(block->devices[1], "Feeder 2", LangEnglish);
    InitialiseNewDevice(block->devices[2], Utf8ToGbk("三号").c_str(), LangChinese);
    return ProjectFileImage(*block);
}

// What the command line prints of a name holds no control character at all.
void CheckPrintable(const std::string& gbk) {
    const std::string shown = PrintableText(GbkToUtf8(gbk));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        const bool c1 = c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string base = BaseImage();
    static auto block = std::make_unique<ProjectBlock>();
    // Kept between runs: a fresh 600 KB buffer per run would cost more than the run itself.
    static std::string image;
    image.reserve(base.size() + 1);

    // The input as a file of its own: almost always refused for its magic or size.
    (void)ParseProjectFile(data, size, *block);
    if (size == 0) return 0;

    image.assign(base);
    const uint8_t choices = data[0];
    int position = 0;
    for (std::size_t at = 1; at + 4 <= size;) {
        const std::size_t offset = (data[at] | data[at + 1] << 8 | data[at + 2] << 16) % image.size();
        std::size_t length = data[at + 3];
        at += 4;
        if (length > size - at) length = size - at;
        if (length > image.size() - offset) length = image.size() - offset;
        std::memcpy(image.data() + offset, data + at, length);
        if (length > 0) position = static_cast<int8_t>(data[at]);
        at += length;
    }
    if ((choices & 3) == 1) image.pop_back();
    if ((choices & 3) == 2) image.push_back('\0');
    if ((choices & 4) != 0) image[0] ^= 0x40;

    if (ParseProjectFile(reinterpret_cast<const uint8_t*>(image.data()), image.size(), *block) !=
        FileError::None)
        return 0;
    const std::string json = ProjectJson(*block);
    if (json.empty() || json.front() != '{' || json.back() != '}') __builtin_trap();
    if (std::memcmp(block.get(), image.data() + 4, sizeof(ProjectBlock)) != 0) __builtin_trap();

    CheckPrintable(FieldText(block->projectName, ProjectNameSize));
    for (int i = 0; i < block->DeviceCountClamped(); ++i)
        CheckPrintable(FieldText(block->devices[i].name, DeviceNameSize));

    DeviceRecord& d = block->devices[(choices >> 3) % MaxDevices];
    InsertSignalName(d, position, d.name[DeviceNameSize - 1] == 0 ? d.name : "");
    if (d.SignalCountClamped() > MaxSignalNames) __builtin_trap();
    RemoveSignalName(d, position);
    if (d.SignalCountClamped() > MaxSignalNames) __builtin_trap();

    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckPrintable(text);
    (void)Utf8ToGbk(text);
    char field[SignalNameSize];
    CopyTextField(field, SignalNameSize,
                  FieldText(text.c_str(), static_cast<int>(size < 64 ? size : 64)).c_str());
    if (std::strlen(field) >= SignalNameSize) __builtin_trap();
    if (GbkPrefixLength(text, 31) > 31) __builtin_trap();
    return 0;
}
