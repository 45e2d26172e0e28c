// SPDX-License-Identifier: Apache-2.0
// The telnet layer of an RFC 2217 serial server: data bytes with IAC (0xFF) doubled on the
// wire, option negotiation, and the COM-PORT-OPTION subnegotiations that set the line. Works
// on byte buffers only; the network port feeds it and sends what it produces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvix {

namespace telnet {

inline constexpr uint8_t Se = 240;
inline constexpr uint8_t Sb = 250;
inline constexpr uint8_t Will = 251;
inline constexpr uint8_t Wont = 252;
inline constexpr uint8_t Do = 253;
inline constexpr uint8_t Dont = 254;
inline constexpr uint8_t Iac = 255;

inline constexpr uint8_t OptBinary = 0;
inline constexpr uint8_t OptEcho = 1;
inline constexpr uint8_t OptSuppressGoAhead = 3;
inline constexpr uint8_t OptComPort = 44;

// COM-PORT-OPTION commands, client to server; the server answers with the same value plus
// ServerReplyOffset.
inline constexpr uint8_t ComSetBaudRate = 1;
inline constexpr uint8_t ComSetDataSize = 2;
inline constexpr uint8_t ComSetParity = 3;
inline constexpr uint8_t ComSetStopSize = 4;
inline constexpr uint8_t ServerReplyOffset = 100;

// Wire values of SET-PARITY and SET-STOPSIZE.
inline constexpr uint8_t ParityWireNone = 1;
inline constexpr uint8_t ParityWireOdd = 2;
inline constexpr uint8_t ParityWireEven = 3;
inline constexpr uint8_t StopWire1 = 1;
inline constexpr uint8_t StopWire2 = 2;
inline constexpr uint8_t StopWire1_5 = 3;

}  // namespace telnet

// Appends `length` data bytes to `out` with every 0xFF doubled.
void TelnetEscape(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& out);
// Data bytes carried by the first `wireLength` bytes of an escaped stream (a doubled 0xFF cut
// in half does not count).
std::size_t TelnetDataBytes(const uint8_t* wire, std::size_t wireLength);
// SET-PARITY and SET-STOPSIZE values of a ParityCode and a StopBitsCode; 0 for none.
uint8_t ParityWire(int parity);
uint8_t StopBitsWire(int stopBits);
// IAC SB COM-PORT-OPTION <command> <value, escaped> IAC SE.
std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value);
// The four commands that set baud rate, data bits, parity and stop bits (ParityCode and
// StopBitsCode values); empty when a value has no wire form.
std::vector<uint8_t> ComPortLineCommands(int baudRate, int dataBits, int parity, int stopBits);

// What the server confirmed of the line settings.
struct ComPortReplies {
    std::optional<uint32_t> baudRate;
    std::optional<uint8_t> dataSize, parity, stopSize;
    bool Complete() const { return baudRate && dataSize && parity && stopSize; }
};

// The receiving side of the client. Decode takes wire bytes and hands out the data bytes;
// commands are handled as they complete, and their answers wait in Replies(). A command cut
// at the end of the input is kept in the decoder's state, so input can be fed in any pieces.
class TelnetDecoder {
  public:
    TelnetDecoder();

    // Decodes `in` until `capacity` data bytes have been produced; the byte that would have
    // produced one more is left unconsumed. `out` may be null to count only. Returns the
    // number of input bytes consumed; `produced` receives the number of data bytes.
    std::size_t Decode(const uint8_t* in, std::size_t length, uint8_t* out, std::size_t capacity,
                       std::size_t& produced);

    // Our own requests: we offer an option or ask the server for one. Returns the bytes to send.
    std::vector<uint8_t> Offer(uint8_t option);
    std::vector<uint8_t> Ask(uint8_t option);

    // Answers to the server's negotiation, to be sent; cleared by taking them.
    std::vector<uint8_t> TakeReplies();
    // The server agreed to / refused COM-PORT-OPTION after our offer.
    bool ComPortAccepted() const { return us_[telnet::OptComPort]; }
    bool ComPortRefused() const { return comPortRefused_; }
    ComPortReplies& Replies() { return replies_; }

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void OnOption(uint8_t command, uint8_t option);
    void OnSubnegotiation();

    State state_ = State::Data;
    uint8_t command_ = 0;
    std::vector<uint8_t> sub_;  // the subnegotiation being read, capped
    std::vector<uint8_t> out_;  // answers waiting to be sent
    bool us_[256] = {};         // options we perform
    bool him_[256] = {};        // options the server performs
    bool usAsked_[256] = {};    // WILL sent, answer outstanding
    bool himAsked_[256] = {};   // DO sent, answer outstanding
    bool comPortRefused_ = false;
    ComPortReplies replies_;
};

}  // namespace corvix
