// SPDX-License-Identifier: Apache-2.0
// Smoke runner for the fuzz targets: without libFuzzer, feed each target its seed corpus (the
// folders and files named on the command line) and a fixed pseudo-random stream of inputs (so
// every run is the same), biased towards the shapes our parsers care about: frame-like and
// project-file-like prefixes, tiny and exact-size inputs.
//
//   fuzz_NAME_smoke [ITERATIONS] [CORPUS_FOLDER_OR_FILE...]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

uint64_t state = 0x9E3779B97F4A7C15ull;

uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

}  // namespace

// Runs every file of a corpus folder (or the one file); false when there is none.
bool Replay(const std::filesystem::path& path, int& run) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path, ec)) {
        for (const auto& e : std::filesystem::directory_iterator(path, ec))
            if (e.is_regular_file()) files.push_back(e.path());
    } else if (std::filesystem::is_regular_file(path, ec)) {
        files.push_back(path);
    }
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        bytes.reserve(1);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++run;
    }
    return !files.empty();
}

int main(int argc, char** argv) {
    int iterations = 1500;
    int run = 0, seeds = 0;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        const long n = std::strtol(argv[i], &end, 10);
        if (*argv[i] != '\0' && *end == '\0') {
            iterations = static_cast<int>(n);
        } else if (!Replay(argv[i], seeds)) {
            std::fprintf(stderr, "%s: no corpus at %s\n", argv[0], argv[i]);
            return 1;
        }
    }
    run += seeds;
    const std::size_t kProjectFile = 609872;
    std::vector<uint8_t> buf;
    buf.reserve(1);  // libFuzzer never passes a null pointer, even for an empty input
    for (std::size_t n = 0; n <= 16; ++n) {  // every tiny length, all zero and all 0xFF
        buf.assign(n, 0);
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
        buf.assign(n, 0xFF);
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
        run += 2;
    }
    for (int i = 0; i < iterations; ++i) {
        std::size_t len;
        const uint64_t r = Next();
        switch (r % 32) {
            case 0: case 1: case 2: case 3: len = Next() % 16; break;
            case 4: len = kProjectFile - 1 + Next() % 3; break;
            case 5: case 6: len = 1020 + Next() % 10; break;
            default: len = Next() % 1100; break;
        }
        buf.resize(len);
        for (auto& b : buf) b = static_cast<uint8_t>(Next());
        if (len >= 4 && (r >> 8) % 3 == 0) {  // project magic
            buf[0] = 0xB3; buf[1] = 0x15; buf[2] = 0x00; buf[3] = 0x00;
        }
        if (len >= 1 && (r >> 8) % 3 == 1) buf[0] = 0x58;  // frame start byte
        if (len >= 3 && (r >> 16) % 2 == 0) {  // plausible small length field
            const std::size_t field = Next() % (len + 2);
            buf[1] = static_cast<uint8_t>(field);
            buf[2] = static_cast<uint8_t>(field >> 8);
        }
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
        ++run;
    }
    std::printf("%d inputs (%d seeds), no crash\n", run, seeds);
    return 0;
}
