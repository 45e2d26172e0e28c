// SPDX-License-Identifier: Apache-2.0
// Hands the receptions the worker gathered to the engine, oldest first, many per notice.
#pragma once

#include <functional>

#include "link/comm_link.h"
#include "link/engine.h"

namespace corvix {

// At most this many receptions per call, so that a flood cannot hold the host's loop.
inline constexpr int ReceptionsPerDrain = static_cast<int>(LinkBuffers::RxQueueDepth) + 1;

// Takes the waiting receptions one by one, each handed to the engine before the next is
// taken. When another waits behind the first, `again` is called once, before the engine sees
// anything: it is to run DrainReceptions later on the host's loop. So a handler that runs a
// nested loop (a message box) still sees the rest in order, and what is left after the limit
// is not forgotten.
void DrainReceptions(CommLink& link, ProtocolEngine& engine, const std::function<void()>& again);

}  // namespace corvix
