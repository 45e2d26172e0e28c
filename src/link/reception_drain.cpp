// SPDX-License-Identifier: Apache-2.0
#include "link/reception_drain.h"

namespace corvix {

void DrainReceptions(CommLink& link, ProtocolEngine& engine, const std::function<void()>& again) {
    bool asked = false;
    for (int i = 0; i < ReceptionsPerDrain; ++i) {
        uint8_t reception[LinkBufferSize];
        bool more = false;
        const std::size_t n = link.TakeNextReception(reception, sizeof reception, more);
        if (more && !asked && again) {
            asked = true;
            again();
        }
        if (n > 0) engine.OnReceived(reception, n);
        if (!more) break;
    }
}

}  // namespace corvix
