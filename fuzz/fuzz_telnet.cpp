// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the telnet layer of RFC 2217 servers: whatever a server sends, decoding it
// in pieces of any size, with any room for data, hands out the same data bytes as decoding it
// whole, never more than the room, and escaped data comes back exactly.
//
// The first input byte chooses the piece sizes, the second the room per call; the rest is the
// server's stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/telnet.h"

namespace {

using namespace corvix;

std::vector<uint8_t> DecodeWhole(const uint8_t* data, std::size_t size) {
    TelnetDecoder d;
    d.Offer(telnet::OptComPort);
    std::vector<uint8_t> out(size);
    std::size_t produced = 0;
    if (d.Decode(data, size, out.data(), out.size(), produced) != size) __builtin_trap();
    out.resize(produced);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = input[0] % 17 + 1, room = input[1] % 9 + 1;
    const uint8_t* data = input + 2;
    size -= 2;
    const std::vector<uint8_t> whole = DecodeWhole(data, size);

    TelnetDecoder d;
    d.Offer(telnet::OptComPort);
    std::vector<uint8_t> pieced;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = size - at < piece ? size - at : piece;
        uint8_t out[16];
        std::size_t produced = 0;
        const std::size_t used = d.Decode(data + at, length, out, room, produced);
        if (used > length || produced > room) __builtin_trap();
        // Only a full room may leave input behind, and then a call with room goes on.
        if (used < length && produced != room) __builtin_trap();
        pieced.insert(pieced.end(), out, out + produced);
        at += used;
        (void)d.TakeReplies();
    }
    if (pieced != whole) __builtin_trap();

    std::vector<uint8_t> wire;
    TelnetEscape(data, size, wire);
    if (DecodeWhole(wire.data(), wire.size()) != std::vector<uint8_t>(data, data + size)) __builtin_trap();
    if (TelnetDataBytes(wire.data(), wire.size()) != size) __builtin_trap();
    return 0;
}
