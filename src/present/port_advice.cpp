// SPDX-License-Identifier: Apache-2.0
#include "present/port_advice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "link/net_port.h"
#include "model/texts.h"
#include "present/link_messages.h"

namespace corvix {
namespace {

// `format` with each %s replaced by the next of `args` (at most two are used).
std::string Format(const char* format, const std::string& first, const std::string& second = {}) {
    const int size = std::snprintf(nullptr, 0, format, first.c_str(), second.c_str());
    if (size <= 0) return format;
    std::vector<char> out(static_cast<std::size_t>(size) + 1);
    std::snprintf(out.data(), out.size(), format, first.c_str(), second.c_str());
    return out.data();
}

bool HolderIs(const std::string& holder, const char* name) {
    // "name (PID n)"; the name is what /proc/PID/comm says.
    const std::size_t length = std::strlen(name);
    return holder.compare(0, length, name) == 0 && holder.compare(length, 2, " (") == 0;
}

// "ttyUSB0" for /dev/ttyUSB0, also when the path is a link to it (/dev/serial/by-id/...):
// the name under /dev, as udev rules match it.
std::string KernelName(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    const std::string name = (ec ? std::filesystem::path(path) : real).string();
    return name.rfind("/dev/", 0) == 0 ? name.substr(5) : std::filesystem::path(name).filename().string();
}

}  // namespace

std::string HolderAdvice(const std::string& holder, const std::string& portPath, int lang) {
    if (HolderIs(holder, "ModemManager"))
        return Format(Pick(txt::ModemManagerAdvice, lang), KernelName(portPath));
    if (HolderIs(holder, "brltty")) return Pick(txt::BrlttyAdvice, lang);
    return {};
}

std::string NetOpenAdvice(LinkOpen result, const CommLink& link, int lang) {
    const std::string& name = link.settings.portName;
    if (!IsNetPortName(name)) return {};
    const std::string at = NetPortEndpoint(name);
    const bool rfc2217 = ParseNetPortName(name) && ParseNetPortName(name)->kind == NetPortKind::Rfc2217;
    if (result == LinkOpen::CannotConfigure && link.LastOpenError() == NetErrorDropped)
        return Format(Pick(txt::NetDropped, lang), at);
    if (result == LinkOpen::CannotConfigure)
        return rfc2217 ? Format(Pick(txt::NetSettingsRefused, lang), at) : std::string();
    if (result != LinkOpen::CannotOpen) return {};
    switch (const int error = link.LastOpenError()) {
        case 0:
            return {};
        case NetErrorBadName:
            return Pick(txt::NetBadName, lang);
        case NetErrorHostNotFound:
            return Format(Pick(txt::NetHostNotFound, lang), at);
        case NetErrorDropped:
        case ECONNRESET:
            return Format(Pick(txt::NetDropped, lang), at);
        case NetErrorNoTelnet:
            return Format(Pick(txt::NetNoTelnet, lang), at, at);
        case NetErrorNoComPort:
            return Format(Pick(txt::NetNoComPort, lang), at, at);
        case ECONNREFUSED:
            return Format(Pick(txt::NetRefused, lang), at);
        case ETIMEDOUT:
            return Format(Pick(txt::NetTimedOut, lang), at);
        case EHOSTUNREACH:
        case ENETUNREACH:
            return Format(Pick(txt::NetUnreachable, lang), at);
        default:
            return Format(Pick(txt::NetOtherError, lang), at, error > 0 ? std::strerror(error) : "?");
    }
}

std::optional<UserMessage> LinkLostMessage(const CommLink& link, int lang) {
    const std::string& name = link.settings.portName;
    if (!IsNetPortName(name)) return std::nullopt;
    return UserMessage{Format(Pick(txt::NetLinkLost, lang), NetPortEndpoint(name)),
                       Pick(txt::CommCaption, lang)};
}

}  // namespace corvix
