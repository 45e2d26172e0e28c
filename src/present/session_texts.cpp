// SPDX-License-Identifier: Apache-2.0
#include "present/session_texts.h"

#include <cstdio>
#include <vector>

#include "model/texts.h"

namespace corvix {

namespace {

std::string WithPort(const char* format, const std::string& port) {
    const int size = std::snprintf(nullptr, 0, format, port.c_str());
    if (size <= 0) return port;
    std::vector<char> out(static_cast<std::size_t>(size) + 1);
    std::snprintf(out.data(), out.size(), format, port.c_str());
    return out.data();
}

}  // namespace

std::string StatusPaneText(const LinkSession& session, int lang) {
    if (!session.WaitingForPort() && !session.Connecting()) return session.Link().LinkStatusText();
    return WithPort(Pick(session.Connecting() ? txt::Connecting : txt::LinkLostWaiting, lang),
                    session.Link().settings.portName);
}

std::string LinkRestoredText(const LinkSession& session, int lang) {
    return WithPort(Pick(txt::LinkRestoredOn, lang), session.Link().settings.portName);
}

std::string LastUpdateText(const std::optional<LocalTime>& last, int lang) {
    if (!last) return Pick(txt::LastUpdateNever, lang);
    char text[64];
    std::snprintf(text, sizeof text, Pick(txt::LastUpdateAt, lang), last->hour, last->minute, last->second);
    return text;
}

}  // namespace corvix
