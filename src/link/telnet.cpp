// SPDX-License-Identifier: Apache-2.0
#include "link/telnet.h"

#include "model/record.h"

namespace corvix {

using namespace telnet;

namespace {

// A subnegotiation longer than this is not one we read; the rest of it is skipped.
constexpr std::size_t MaxSubnegotiation = 64;

bool WeWill(uint8_t option) {
    return option == OptBinary || option == OptSuppressGoAhead || option == OptComPort;
}
// Never echo: the server would send our own frames back to us.
bool WeWant(uint8_t option) { return option == OptBinary || option == OptSuppressGoAhead; }

void Put(std::vector<uint8_t>& out, uint8_t command, uint8_t option) {
    out.insert(out.end(), {Iac, command, option});
}

}  // namespace

void TelnetEscape(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& out) {
    out.reserve(out.size() + length);
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == Iac) out.push_back(Iac);
    }
}

std::size_t TelnetDataBytes(const uint8_t* wire, std::size_t wireLength) {
    std::size_t data = 0;
    for (std::size_t i = 0; i < wireLength; ++i, ++data) {
        if (wire[i] != Iac) continue;
        if (i + 1 >= wireLength) break;
        ++i;
    }
    return data;
}

std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> out = {Iac, Sb, OptComPort, command};
    TelnetEscape(value.data(), value.size(), out);
    out.insert(out.end(), {Iac, Se});
    return out;
}

uint8_t ParityWire(int parity) {
    switch (parity) {
        case ParityNone:
            return ParityWireNone;
        case ParityEven:
            return ParityWireEven;
        case ParityOdd:
            return ParityWireOdd;
        default:
            return 0;
    }
}

uint8_t StopBitsWire(int stopBits) {
    switch (stopBits) {
        case StopBits1:
            return StopWire1;
        case StopBits1_5:
            return StopWire1_5;
        case StopBits2:
            return StopWire2;
        default:
            return 0;
    }
}

std::vector<uint8_t> ComPortLineCommands(int baudRate, int dataBits, int parity, int stopBits) {
    const uint8_t parityWire = ParityWire(parity), stopWire = StopBitsWire(stopBits);
    if (parityWire == 0 || stopWire == 0) return {};
    // A rate of 0 asks the server for its current rate instead of setting one.
    if (baudRate <= 0 || dataBits < 5 || dataBits > 8) return {};
    const auto rate = static_cast<uint32_t>(baudRate);
    std::vector<uint8_t> out = ComPortCommand(
        ComSetBaudRate, {uint8_t(rate >> 24), uint8_t(rate >> 16), uint8_t(rate >> 8), uint8_t(rate)});
    for (const auto& part :
         {ComPortCommand(ComSetDataSize, {uint8_t(dataBits)}), ComPortCommand(ComSetParity, {parityWire}),
          ComPortCommand(ComSetStopSize, {stopWire})})
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TelnetDecoder::TelnetDecoder() { sub_.reserve(MaxSubnegotiation); }

std::size_t TelnetDecoder::Decode(const uint8_t* in, std::size_t length, uint8_t* out, std::size_t capacity,
                                  std::size_t& produced) {
    produced = 0;
    std::size_t i = 0;
    for (; i < length; ++i) {
        const uint8_t b = in[i];
        switch (state_) {
            case State::Data:
                if (b == Iac) {
                    state_ = State::Iac;
                    break;
                }
                if (produced == capacity) return i;
                if (out) out[produced] = b;
                ++produced;
                break;
            case State::Iac:
                if (b == Iac) {  // a data byte 0xFF
                    if (produced == capacity) return i;
                    if (out) out[produced] = b;
                    ++produced;
                    state_ = State::Data;
                } else if (b >= Will && b <= Dont) {
                    command_ = b;
                    state_ = State::Option;
                } else if (b == Sb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // NOP, GA, data mark and the like: nothing to do
                }
                break;
            case State::Option:
                OnOption(command_, b);
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == Iac)
                    state_ = State::SubIac;
                else if (sub_.size() < MaxSubnegotiation)
                    sub_.push_back(b);
                break;
            case State::SubIac:
                if (b == Iac) {
                    if (sub_.size() < MaxSubnegotiation) sub_.push_back(b);
                    state_ = State::Sub;
                } else {
                    // IAC SE ends it; any other command ends it too and is taken as such.
                    OnSubnegotiation();
                    state_ = State::Data;
                    if (b != Se) {
                        state_ = State::Iac;
                        --i;
                    }
                }
                break;
        }
    }
    return i;
}

std::vector<uint8_t> TelnetDecoder::Offer(uint8_t option) {
    std::vector<uint8_t> out;
    if (us_[option] || usAsked_[option]) return out;
    usAsked_[option] = true;
    Put(out, Will, option);
    return out;
}

std::vector<uint8_t> TelnetDecoder::Ask(uint8_t option) {
    std::vector<uint8_t> out;
    if (him_[option] || himAsked_[option]) return out;
    himAsked_[option] = true;
    Put(out, Do, option);
    return out;
}

std::vector<uint8_t> TelnetDecoder::TakeReplies() {
    std::vector<uint8_t> out;
    out.swap(out_);
    return out;
}

// Answers only what changes a state, so two sides never echo each other's answers forever.
void TelnetDecoder::OnOption(uint8_t command, uint8_t option) {
    switch (command) {
        case Do:
            if (!WeWill(option)) {
                Put(out_, Wont, option);
            } else if (!us_[option]) {
                us_[option] = true;
                if (!usAsked_[option]) Put(out_, Will, option);
            }
            usAsked_[option] = false;
            break;
        case Dont:
            if (us_[option]) {
                us_[option] = false;
                if (!usAsked_[option]) Put(out_, Wont, option);
            } else if (usAsked_[option] && option == OptComPort) {
                comPortRefused_ = true;
            }
            usAsked_[option] = false;
            break;
        case Will:
            if (!WeWant(option)) {
                Put(out_, Dont, option);
            } else if (!him_[option]) {
                him_[option] = true;
                if (!himAsked_[option]) Put(out_, Do, option);
            }
            himAsked_[option] = false;
            break;
        case Wont:
            if (him_[option]) {
                him_[option] = false;
                if (!himAsked_[option]) Put(out_, Dont, option);
            }
            himAsked_[option] = false;
            break;
        default:
            break;
    }
}

void TelnetDecoder::OnSubnegotiation() {
    if (sub_.size() < 3 || sub_[0] != OptComPort) return;
    const uint8_t* v = sub_.data() + 2;
    switch (sub_[1]) {
        case ServerReplyOffset + ComSetBaudRate:
            if (sub_.size() >= 6)
                replies_.baudRate = uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 | uint32_t(v[2]) << 8 | v[3];
            break;
        case ServerReplyOffset + ComSetDataSize:
            replies_.dataSize = v[0];
            break;
        case ServerReplyOffset + ComSetParity:
            replies_.parity = v[0];
            break;
        case ServerReplyOffset + ComSetStopSize:
            replies_.stopSize = v[0];
            break;
        default:
            break;  // modem and line state notices, flow control, signature: not used
    }
}

}  // namespace corvix
