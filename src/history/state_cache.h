// SPDX-License-Identifier: Apache-2.0
// A device's recorded states kept beside the repository's objects (.git/corvix-states/), so
// that listing 10,000 states reads one small file instead of 10,000 commits. It is only a
// cache: it names the commit it was made at, only the commits after that one are walked, and a
// history that no longer descends from it (reset, rewritten) is walked whole again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/repository.h"

namespace corvix::history {

struct CachedStates {
    std::string tip;                // the branch's commit when the cache was made
    std::vector<State> newestFirst; // baseline marks are not kept
};

std::string StateCacheFile(const std::string& gitDir, const std::string& path);
std::optional<CachedStates> LoadStateCache(const std::string& file);
// Written to a temporary file and renamed over the old one; false when it could not be.
bool SaveStateCache(const std::string& file, const CachedStates& cache);

}  // namespace corvix::history
