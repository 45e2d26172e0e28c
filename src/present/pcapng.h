// SPDX-License-Identifier: Apache-2.0
// Capture files in the pcapng format, so that a packet analyser can show the serial traffic:
// one packet per frame sent or block received, with its time in microseconds, its direction in
// the packet flags and the repeat number or verdict in the packet comment. Blocks are built
// whole, little-endian; PcapngStream writes them as they come.
//
// Shape for users of this header: PcapngSectionHeader / PcapngInterface / PcapngPacket build
// whole blocks; PcapngStream::Open(path | fd, ...) writes SHB + IDB, Write(...) one EPB each,
// flushed at once. PcapngStream::Attach(FILE*) takes any stdio sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "present/comm_log.h"

namespace corvix {

// LINKTYPE_USER0: the frames as they are on the wire (start byte to end byte), which no
// registered link type describes; the dissector registers for it.
inline constexpr uint16_t PcapLinkType = 147;

enum class PacketDirection { Inbound, Outbound };

// Block types and option codes used here, as the format numbers them.
inline constexpr uint32_t PcapngSectionHeaderType = 0x0A0D0D0A;
inline constexpr uint32_t PcapngInterfaceType = 0x00000001;
inline constexpr uint32_t PcapngPacketType = 0x00000006;
inline constexpr uint32_t PcapngByteOrderMagic = 0x1A2B3C4D;
inline constexpr uint16_t PcapngOptEnd = 0;
inline constexpr uint16_t PcapngOptComment = 1;
inline constexpr uint16_t PcapngOptUserAppl = 4;   // section header
inline constexpr uint16_t PcapngOptIfName = 2;     // interface
inline constexpr uint16_t PcapngOptIfDescription = 3;
inline constexpr uint16_t PcapngOptIfTsresol = 9;
inline constexpr uint16_t PcapngOptEpbFlags = 2;   // packet
inline constexpr uint32_t PcapngFlagInbound = 1;   // epb_flags bits 0-1
inline constexpr uint32_t PcapngFlagOutbound = 2;
// Fixed parts before the options (or the packet data): type, length and the block's fields.
inline constexpr std::size_t PcapngSectionHeaderFixed = 24;
inline constexpr std::size_t PcapngInterfaceFixed = 16;
inline constexpr std::size_t PcapngPacketFixed = 28;

// Section header block, with shb_userappl "corvix <version>".
std::vector<uint8_t> PcapngSectionHeader();
// Interface description block: if_name = `name` (the port), if_description = `description`
// (the line settings; left out when empty), if_tsresol = 6 (microseconds), no snap length.
std::vector<uint8_t> PcapngInterface(const std::string& name, const std::string& description);
// Enhanced packet block on interface 0: epb_flags with the direction and opt_comment (left
// out when empty).
std::vector<uint8_t> PcapngPacket(uint64_t microsSinceEpoch, PacketDirection direction,
                                  std::span<const uint8_t> bytes, const std::string& comment);

// The packet of a communication log entry: sent frames Outbound with comment "repeat=N",
// received blocks Inbound with the verdict (in English, whatever the interface language, so
// that filters on it work for everyone) and receptions without a frame as "no frame".
std::string PcapngComment(const CommLogEntry& entry);
std::vector<uint8_t> PcapngPacketOf(const CommLogEntry& entry);

// The line settings in a few words, "57600 baud 8N1": for the interface description.
std::string LineSettingsText(const SerialSettings& settings);

// A capture file written as it goes: the header blocks at Open, then each packet flushed at
// once (so `tail -c +1 -f FILE | tshark -r -` shows it live). Any stdio sink: a file or a
// fifo. Not safe for use by two threads at once.
class PcapngStream {
  public:
    PcapngStream() = default;
    ~PcapngStream() { Close(); }
    PcapngStream(const PcapngStream&) = delete;
    PcapngStream& operator=(const PcapngStream&) = delete;

    // Creates (truncates) `path` and writes the header blocks. False with the system's reason.
    bool Open(const std::string& path, const std::string& name, const std::string& description,
              std::string& reason);
    // The same on an open descriptor (a fifo handed over by a capture program); it is closed
    // with the stream.
    bool Open(int fd, const std::string& name, const std::string& description, std::string& reason);
    // The same on a stdio stream; `own`: fclose it with the stream.
    bool Attach(std::FILE* file, bool own, const std::string& name, const std::string& description,
                std::string& reason);
    // Writes and flushes one packet. After a failure (disk full, reader gone) the stream stays
    // failed: later writes return false at once, and Reason() says why.
    bool Write(uint64_t microsSinceEpoch, PacketDirection direction, std::span<const uint8_t> bytes,
               const std::string& comment);
    bool Write(const CommLogEntry& entry);
    // Closes the sink; false when the last bytes could not be written.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    bool Failed() const { return failed_; }
    const std::string& Reason() const { return reason_; }

  private:
    bool Put(const std::vector<uint8_t>& block);

    std::FILE* file_ = nullptr;
    bool own_ = false;
    bool failed_ = false;
    std::string reason_;
};

// The capture file of the automatic log's day: "corvix-YYYY-MM-DD.pcapng".
std::string PcapngDayFileName(const LocalTime& day);

// The automatic log's capture files: every entry appended to the file of its day in `folder`
// (made when missing). A new file starts with the header blocks; an existing one gets only
// packets, under the interface its header describes.
class PcapngDayFiles {
  public:
    explicit PcapngDayFiles(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }
    // The interface a new day's file describes (the port and its line settings).
    void SetInterface(std::string name, std::string description) {
        name_ = std::move(name);
        description_ = std::move(description);
    }
    // False on the first failure, with the file's path and the system's reason; the entries
    // after it are not written.
    bool Append(const std::vector<CommLogEntry>& entries, std::string& path, std::string& reason);

  private:
    std::string folder_;
    std::string name_ = "serial";
    std::string description_;
};

}  // namespace corvix
