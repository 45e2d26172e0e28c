// SPDX-License-Identifier: Apache-2.0
#include "devsim/frame_assembler.h"

#include "link/frame.h"

namespace corvix::sim {

void FrameAssembler::Feed(const uint8_t* bytes, std::size_t count) {
    if (bytes != nullptr && count > 0) buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void FrameAssembler::Discard(std::size_t count) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
    discarded_ += count;
}

bool FrameAssembler::Next(std::vector<uint8_t>& frame) {
    // Each start byte is a candidate. One whose frame is complete but fails the checks is noise;
    // one that is still incomplete may be a real frame, unless a complete frame follows it.
    const std::size_t size = buffer_.size();
    std::size_t keepFrom = size;
    for (std::size_t i = 0; i < size; ++i) {
        if (buffer_[i] != FRAME_START) continue;
        if (size - i < 3) {
            if (keepFrom == size) keepFrom = i;
            break;
        }
        const std::size_t length = GetU16(buffer_.data() + i + 1);
        if (length < static_cast<std::size_t>(LengthFieldBase) ||
            length > static_cast<std::size_t>(MaxLengthField))
            continue;
        const std::size_t frameSize = length + FrameOverhead;
        if (size - i < frameSize) {
            if (keepFrom == size) keepFrom = i;
            continue;
        }
        if (ValidateFrame(buffer_.data() + i, frameSize)) {
            frame.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(i),
                         buffer_.begin() + static_cast<std::ptrdiff_t>(i + frameSize));
            Discard(i);
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(frameSize));
            return true;
        }
    }
    Discard(keepFrom);
    return false;
}

}  // namespace corvix::sim
