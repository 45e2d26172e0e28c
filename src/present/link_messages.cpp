// SPDX-License-Identifier: Apache-2.0
#include "present/link_messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/net_port.h"
#include "model/formats.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "present/port_advice.h"

namespace corvix {
namespace {

UserMessage AppMessage(const char* text) { return {text, txt::AppName}; }

// When the device is held by another program, say which (and how to get the port back from
// the usual suspects); when it exists but we may not use it, say how to get the right:
// membership of the group that owns it (dialout on most systems). A serial device server
// says why it could not be reached.
std::string WithAccessAdvice(const char* message, LinkOpen result, const CommLink& link, int lang) {
    std::string text = message;
    if (IsNetPortName(link.settings.portName)) return text + NetOpenAdvice(result, link, lang);
    if (link.LastOpenError() == EBUSY) {
        const std::string& holder = link.LastOpenHolder();
        if (holder.empty()) return text + Pick(txt::PortInUse, lang);
        const char* format = Pick(txt::PortInUseBy, lang);
        std::vector<char> out(std::strlen(format) + holder.size() + 1);
        std::snprintf(out.data(), out.size(), format, holder.c_str());
        return text + out.data() + HolderAdvice(holder, link.settings.portName, lang);
    }
    if (link.LastOpenError() != EACCES) return text;
    const std::string group = link.PortGroupName();
    const char* advice = Pick(txt::PortAccessAdvice, lang);
    const int size = std::snprintf(nullptr, 0, advice, group.c_str(), group.c_str());
    if (size > 0) {
        std::vector<char> out(static_cast<std::size_t>(size) + 1);
        std::snprintf(out.data(), out.size(), advice, group.c_str(), group.c_str());
        text += out.data();
    }
    return text;
}

// A refused line setting or worker has its own message before the command's.
void AddOpenLinkMessage(LinkOpen result, int lang, std::vector<UserMessage>& out) {
    if (result == LinkOpen::CannotConfigure || result == LinkOpen::CannotStart)
        out.push_back(AppMessage(Pick(txt::OpenPortError, lang)));
}

}  // namespace

std::vector<UserMessage> ConnectMessages(LinkOpen result, const CommLink& link, int lang) {
    std::vector<UserMessage> out;
    if (result == LinkOpen::Opened || result == LinkOpen::AlreadyOpen) return out;
    AddOpenLinkMessage(result, lang, out);
    out.push_back(
        AppMessage(WithAccessAdvice(Pick(txt::OpenPortErrorBang, lang), result, link, lang).c_str()));
    return out;
}

std::vector<UserMessage> PortChangeMessages(const PortChange& change, const CommLink& link, int lang) {
    std::vector<UserMessage> out;
    if (!change.reopened || change.reopen == LinkOpen::Opened) return out;
    AddOpenLinkMessage(change.reopen, lang, out);
    out.push_back(
        AppMessage(WithAccessAdvice(Pick(txt::CannotOpenPort, lang), change.reopen, link, lang).c_str()));
    return out;
}

std::optional<UserMessage> FailureMessage(const OperationFailed& failure, int lang) {
    switch (failure.reason) {
        case FailReason::NoAnswer:
            return UserMessage{Pick(txt::CannotConnect, lang), Pick(txt::CommCaption, lang)};
        case FailReason::SendFailed:
            return UserMessage{Pick(txt::SendDataError, lang), Pick(txt::CommCaption, lang)};
        case FailReason::Refused:
            break;
    }
    return std::nullopt;
}

UserMessage WriteSuccessMessage(int lang) {
    return {Pick(txt::WriteDataSuccess, lang), Pick(txt::WriteSuccessCaption, lang)};
}

std::string EventText(const WireEvent& e, int dateOrder, int lang) {
    char header[96];
    if (dateOrder == DateWorld)
        std::snprintf(header, sizeof header, Pick(txt::EventHeaderWorld, lang), e.day, e.month, e.year,
                      e.hour, e.minute, e.second, e.millisecond);
    else
        std::snprintf(header, sizeof header, Pick(txt::EventHeaderChina, lang), e.year, e.month, e.day,
                      e.hour, e.minute, e.second, e.millisecond);
    std::string text = header;
    text += txt::EventDetailLead;
    text += GbkToUtf8(FieldText(e.designation, static_cast<int>(sizeof e.designation)));
    text += txt::EventDetailGap;
    text += Pick(e.direction == DirectionOffToOn ? txt::EventOffToOn : txt::EventOnToOff, lang);
    text += "\r\n";
    return text;
}

std::string ClockText(int dateOrder, const ClockFields& c) {
    return FormatClock(dateOrder, c.year, c.month, c.day, c.hour, c.minute, c.second);
}

}  // namespace corvix
