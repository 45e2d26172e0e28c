// SPDX-License-Identifier: Apache-2.0
// What a received block is, and whether a reply answers the request that is outstanding.
// Pure functions over byte buffers: the engine decides with them, front ends only show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame.h"

namespace corvix {

// The validation rules in their order; the first that fails names the verdict.
enum class FrameVerdict : uint8_t { Good, TooShort, BadStart, Incomplete, BadChecksum, BadEnd };
FrameVerdict CheckFrame(const uint8_t* bytes, std::size_t count);
const char* VerdictName(FrameVerdict verdict);  // "good", "bad checksum", ... (log text, not a message)

enum class ReplyMatch : uint8_t {
    Answers,        // the reply is the answer to the request
    NoRequest,      // nothing was asked
    OtherFunction,  // the reply is about another function
    OtherKind,      // data where an acknowledgement was due, or the other way round
    OtherSegment,   // a configuration piece or acknowledgement of another segment
};
// `request` is the frame last sent (as built by the codec), `reply` the decoded header of a
// valid reception. Segments count only for configuration transfers, where a piece of the
// wrong segment would shift the image.
ReplyMatch CheckReply(std::span<const uint8_t> request, const FrameHeader& reply);

}  // namespace corvix
