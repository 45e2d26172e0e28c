// SPDX-License-Identifier: Apache-2.0
// Fuzz target for reception splitting: the simulated device's assembler, which finds whole
// frames in a byte stream that arrives in pieces, after noise or after damaged frames. The
// first input byte chooses the piece sizes; the rest is the stream.
//
// Every frame handed out passes the codec's checks, no byte is lost or made up (handed out
// + discarded + still buffered = fed), and what stays buffered is never more than one frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devsim/frame_assembler.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvix;
    if (size < 1) return 0;
    const std::size_t piece = data[0] == 0 ? size : data[0];
    ++data;
    --size;
    sim::FrameAssembler assembler;
    std::vector<uint8_t> frame;
    std::size_t handedOut = 0;
    for (std::size_t fed = 0; fed < size;) {
        const std::size_t n = piece < size - fed ? piece : size - fed;
        assembler.Feed(data + fed, n);
        fed += n;
        while (assembler.Next(frame)) {
            if (!ValidateFrame(frame.data(), frame.size())) __builtin_trap();
            handedOut += frame.size();
        }
        if (handedOut + assembler.DiscardedBytes() + assembler.Buffered() != fed) __builtin_trap();
        if (assembler.Buffered() >= MaxFrameSize) __builtin_trap();
    }
    return 0;
}
