// Fuzz target for project files: parsing a whole file image, building the JSON view of
// whatever the block holds, and the signal-name operations on records with arbitrary
// counts.
//
// With libFuzzer (from fuzz/):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I../src
//       fuzz_project_file.cpp ../src/model/{project_file,project_json,gbk,record}.cpp
// ctest runs it through smoke_main.cpp over a fixed input stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "model/gbk.h"
#include "model/project_file.h"
#include "model/project_json.h"
#include "model/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvix;
    static auto block = std::make_unique<ProjectBlock>();

    // The file as the reader sees it.
    if (ParseProjectFile(data, size, *block) == FileError::None) {
        std::string json = ProjectJson(*block);
        if (json.empty() || json.front() != '{') __builtin_trap();
    }

    // Any input, however short, as a project block: counts and texts are whatever the
    // bytes say, which is what a hostile file of the right size would give.
    std::memset(static_cast<void*>(block.get()), 0, sizeof(ProjectBlock));
    const std::size_t blockBytes = size < sizeof(ProjectBlock) ? size : sizeof(ProjectBlock);
    std::memcpy(static_cast<void*>(block.get()), data, blockBytes);
    if (size > 0 && size < 4096) {
        // Small inputs: spread them over the header of device 0 as well, so that
        // counts and texts of a device record get fuzzed without huge inputs.
        std::memcpy(static_cast<void*>(&block->devices[0]), data,
                    size < ConfigImageSize ? size : ConfigImageSize);
        std::memcpy(&block->devices[0].eventCount, data, size < 4 ? size : 4);
    }
    (void)ProjectJson(*block);

    DeviceRecord& d = block->devices[0];
    int position = size > 0 ? static_cast<int8_t>(data[0]) : 0;
    InsertSignalName(d, position, d.name[DeviceNameSize - 1] == 0 ? d.name : "");
    RemoveSignalName(d, position);
    if (d.SignalCountClamped() > MaxSignalNames) __builtin_trap();

    std::string text(reinterpret_cast<const char*>(data), size);
    (void)GbkToUtf8(text);
    (void)Utf8ToGbk(text);
    char field[SignalNameSize];
    CopyTextField(field, SignalNameSize,
                  FieldText(text.c_str(), static_cast<int>(size < 64 ? size : 64)).c_str());
    if (GbkPrefixLength(text, 31) > 31) __builtin_trap();
    return 0;
}
