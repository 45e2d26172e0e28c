// SPDX-License-Identifier: Apache-2.0
#include "history/state_cache.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <cstring>

namespace corvix::history {
namespace {

constexpr const char* Magic = "corvix-states 1 ";

std::string Field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

std::string StateCacheFile(const std::string& gitDir, const std::string& path) {
    char name[32];
    std::snprintf(name, sizeof name, "%016zx", std::hash<std::string>{}(path));
    return gitDir + "corvix-states/" + name;
}

std::optional<CachedStates> LoadStateCache(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line.rfind(Magic, 0) != 0) return std::nullopt;
    CachedStates cache;
    cache.tip = line.substr(std::strlen(Magic));
    if (cache.tip.size() != 40) return std::nullopt;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(line.substr(start, tab - start));
        f.push_back(line.substr(start));
        if (f.size() != 8 || f[0].size() != 40) return std::nullopt;
        State s;
        s.rev = f[0];
        s.time = std::strtoll(f[1].c_str(), nullptr, 10);
        s.offsetMinutes = std::atoi(f[2].c_str());
        s.operation = f[3];
        s.changed = std::atoi(f[4].c_str());
        s.user = f[5];
        s.email = f[6];
        s.port = f[7];
        cache.newestFirst.push_back(std::move(s));
    }
    return cache;
}

bool SaveStateCache(const std::string& file, const CachedStates& cache) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    std::string text = Magic + cache.tip + "\n";
    for (const State& s : cache.newestFirst)
        text += s.rev + "\t" + std::to_string(s.time) + "\t" + std::to_string(s.offsetMinutes) + "\t" +
                Field(s.operation) + "\t" + std::to_string(s.changed) + "\t" + Field(s.user) + "\t" + Field(s.email) +
                "\t" + Field(s.port) + "\n";
    const std::string temporary = file + "." + std::to_string(getpid()) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) std::filesystem::remove(temporary, ec);
    return !ec;
}

}  // namespace corvix::history
