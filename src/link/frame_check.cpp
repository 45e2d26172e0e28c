// SPDX-License-Identifier: Apache-2.0
#include "link/frame_check.h"

namespace corvix {

FrameVerdict CheckFrame(const uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count < FrameMinReception) return FrameVerdict::TooShort;
    if (bytes[0] != FRAME_START) return FrameVerdict::BadStart;
    const std::size_t length = GetU16(bytes + 1);
    if (count < length + FrameOverhead) return FrameVerdict::Incomplete;
    if (FrameChecksum(bytes + 3, length) != GetU32(bytes + 3 + length)) return FrameVerdict::BadChecksum;
    if (bytes[7 + length] != FRAME_END) return FrameVerdict::BadEnd;
    return FrameVerdict::Good;
}

const char* VerdictName(FrameVerdict verdict) {
    switch (verdict) {
        case FrameVerdict::Good:
            return "good";
        case FrameVerdict::TooShort:
            return "too short";
        case FrameVerdict::BadStart:
            return "bad start byte";
        case FrameVerdict::Incomplete:
            return "incomplete";
        case FrameVerdict::BadChecksum:
            return "bad checksum";
        case FrameVerdict::BadEnd:
            return "bad end byte";
    }
    return "?";
}

ReplyMatch CheckReply(std::span<const uint8_t> request, const FrameHeader& reply) {
    if (request.size() < FrameHeaderSize) return ReplyMatch::NoRequest;
    const uint8_t type = request[8];
    const uint8_t function = request[9];
    if (reply.function != function) return ReplyMatch::OtherFunction;
    // A read is answered with data; a write with an acknowledgement, or with data for the
    // writes whose device reports the state it took (the output test).
    const bool kindFits = type == TYPE_READ
                              ? reply.type == TYPE_DATA
                              : reply.type == TYPE_ACK || (reply.type == TYPE_DATA && function != FC_CONFIG);
    if (!kindFits) return ReplyMatch::OtherKind;
    if (function == FC_CONFIG && reply.segment != GetU16(request.data() + 4)) return ReplyMatch::OtherSegment;
    return ReplyMatch::Answers;
}

}  // namespace corvix
