// Smoke runner for the fuzz targets: without libFuzzer, feed each target a fixed
// pseudo-random stream of inputs (so every run is the same), biased towards the shapes our
// parsers care about: frame-like and project-file-like prefixes, tiny and exact-size inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 1500;
    const std::size_t kProjectFile = 609872;
    std::vector<uint8_t> buf;
    buf.reserve(1);  // libFuzzer never passes a null pointer, even for an empty input
    int run = 0;
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
    std::printf("%d inputs, no crash\n", run);
    return 0;
}
