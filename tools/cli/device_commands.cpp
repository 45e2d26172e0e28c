#include "cli/device_commands.h"

#include <cstdio>

int RunDeviceCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "corvix-cli device: not built yet\n");
    return 2;
}
