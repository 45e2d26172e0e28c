// SPDX-License-Identifier: Apache-2.0
// Finds whole frames in a byte stream: a request may arrive in pieces, after noise, or after
// a damaged frame. Frames are recognised by the codec's own checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvix::sim {

class FrameAssembler {
  public:
    void Feed(const uint8_t* bytes, std::size_t count);
    // Takes the next whole frame that passes ValidateFrame. Bytes before it, and bytes that can
    // no longer start a frame, are discarded.
    bool Next(std::vector<uint8_t>& frame);
    std::size_t Buffered() const { return buffer_.size(); }
    std::size_t DiscardedBytes() const { return discarded_; }
    void Clear() { buffer_.clear(); }

  private:
    void Discard(std::size_t count);

    std::vector<uint8_t> buffer_;
    std::size_t discarded_ = 0;
};

}  // namespace corvix::sim
