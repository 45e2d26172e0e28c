// SPDX-License-Identifier: Apache-2.0
#include "present/pcapng.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "model/texts.h"
#include "model/version.h"

namespace corvix {

namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void SetU32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void Pad(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// An option: code, length, value padded to 32 bits. The length field is 16 bits wide, so a
// longer value is cut at a UTF-8 character boundary rather than written with a wrong length.
void PutOption(std::vector<uint8_t>& out, uint16_t code, const uint8_t* value, std::size_t size) {
    constexpr std::size_t MaxValue = 0xFFFC;
    if (size > MaxValue) {
        size = MaxValue;
        while (size > 0 && (value[size] & 0xC0) == 0x80) --size;
    }
    PutU16(out, code);
    PutU16(out, static_cast<uint16_t>(size));
    out.insert(out.end(), value, value + size);
    Pad(out);
}

void PutOption(std::vector<uint8_t>& out, uint16_t code, const std::string& text) {
    PutOption(out, code, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Starts a block: type and a length filled in by EndBlock.
std::vector<uint8_t> BeginBlock(uint32_t type) {
    std::vector<uint8_t> out;
    PutU32(out, type);
    PutU32(out, 0);
    return out;
}

std::vector<uint8_t> EndBlock(std::vector<uint8_t> out) {
    PutU16(out, PcapngOptEnd);
    PutU16(out, 0);
    const auto total = static_cast<uint32_t>(out.size() + 4);
    SetU32(out, 4, total);
    PutU32(out, total);
    return out;
}

}  // namespace

std::vector<uint8_t> PcapngSectionHeader() {
    std::vector<uint8_t> out = BeginBlock(PcapngSectionHeaderType);
    PutU32(out, PcapngByteOrderMagic);
    PutU16(out, 1);  // version 1.0
    PutU16(out, 0);
    PutU32(out, 0xFFFFFFFF);  // section length: not given
    PutU32(out, 0xFFFFFFFF);
    PutOption(out, PcapngOptUserAppl, std::string("corvix ") + CORVIX_VERSION_STRING);
    return EndBlock(std::move(out));
}

std::vector<uint8_t> PcapngInterface(const std::string& name, const std::string& description) {
    std::vector<uint8_t> out = BeginBlock(PcapngInterfaceType);
    PutU16(out, PcapLinkType);
    PutU16(out, 0);  // reserved
    PutU32(out, 0);  // snap length: none
    if (!name.empty()) PutOption(out, PcapngOptIfName, name);
    if (!description.empty()) PutOption(out, PcapngOptIfDescription, description);
    const uint8_t microseconds = 6;
    PutOption(out, PcapngOptIfTsresol, &microseconds, 1);
    return EndBlock(std::move(out));
}

std::vector<uint8_t> PcapngPacket(uint64_t microsSinceEpoch, PacketDirection direction,
                                  std::span<const uint8_t> bytes, const std::string& comment) {
    std::vector<uint8_t> out = BeginBlock(PcapngPacketType);
    out.reserve(PcapngPacketFixed + bytes.size() + comment.size() + 32);
    PutU32(out, 0);  // interface
    PutU32(out, static_cast<uint32_t>(microsSinceEpoch >> 32));
    PutU32(out, static_cast<uint32_t>(microsSinceEpoch));
    PutU32(out, static_cast<uint32_t>(bytes.size()));  // captured
    PutU32(out, static_cast<uint32_t>(bytes.size()));  // on the wire
    out.insert(out.end(), bytes.begin(), bytes.end());
    Pad(out);
    if (!comment.empty()) PutOption(out, PcapngOptComment, comment);
    std::vector<uint8_t> flags;
    PutU32(flags, direction == PacketDirection::Inbound ? PcapngFlagInbound : PcapngFlagOutbound);
    PutOption(out, PcapngOptEpbFlags, flags.data(), flags.size());
    return EndBlock(std::move(out));
}

std::string PcapngComment(const CommLogEntry& entry) {
    if (entry.sent) return "repeat=" + std::to_string(entry.repeat);
    // Bytes that do not even begin a frame: noise on the line, not a damaged frame.
    if (entry.verdict == FrameVerdict::BadStart || entry.verdict == FrameVerdict::TooShort) return "no frame";
    return VerdictText(entry.verdict, LangEnglish);
}

std::vector<uint8_t> PcapngPacketOf(const CommLogEntry& entry) {
    return PcapngPacket(entry.utcMicros, entry.sent ? PacketDirection::Outbound : PacketDirection::Inbound,
                        entry.bytes, PcapngComment(entry));
}

std::string LineSettingsText(const SerialSettings& s) {
    const char* parity = s.parity == ParityEven ? "E" : s.parity == ParityOdd ? "O" : "N";
    const char* stop = StopBitsText(s.stopBits);
    return std::to_string(s.baudRate) + " baud " + std::to_string(s.dataBits) + parity + (stop[0] ? stop : "1");
}

// ---- stream ----

bool PcapngStream::Open(const std::string& path, const std::string& name, const std::string& description,
                        std::string& reason) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    return Attach(f, true, name, description, reason);
}

bool PcapngStream::Open(int fd, const std::string& name, const std::string& description, std::string& reason) {
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    return Attach(f, true, name, description, reason);
}

bool PcapngStream::Attach(std::FILE* file, bool own, const std::string& name, const std::string& description,
                          std::string& reason) {
    Close();
    file_ = file;
    own_ = own;
    failed_ = false;
    reason_.clear();
    std::vector<uint8_t> head = PcapngSectionHeader();
    const std::vector<uint8_t> idb = PcapngInterface(name, description);
    head.insert(head.end(), idb.begin(), idb.end());
    if (!Put(head)) {
        reason = reason_;
        Close();
        return false;
    }
    return true;
}

bool PcapngStream::Put(const std::vector<uint8_t>& block) {
    if (file_ == nullptr || failed_) return false;
    errno = 0;
    if (std::fwrite(block.data(), 1, block.size(), file_) != block.size() || std::fflush(file_) != 0) {
        failed_ = true;
        reason_ = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool PcapngStream::Write(uint64_t microsSinceEpoch, PacketDirection direction, std::span<const uint8_t> bytes,
                         const std::string& comment) {
    return Put(PcapngPacket(microsSinceEpoch, direction, bytes, comment));
}

bool PcapngStream::Write(const CommLogEntry& entry) { return Put(PcapngPacketOf(entry)); }

bool PcapngStream::Close() {
    if (file_ == nullptr) return !failed_;
    bool ok = !failed_;
    if (own_) {
        if (std::fclose(file_) != 0 && ok) {
            ok = false;
            failed_ = true;
            reason_ = std::strerror(errno);
        }
    } else if (std::fflush(file_) != 0 && ok) {
        ok = false;
        failed_ = true;
        reason_ = std::strerror(errno);
    }
    file_ = nullptr;
    own_ = false;
    return ok;
}

// ---- the automatic log's files ----

std::string PcapngDayFileName(const LocalTime& day) { return DayFileName(day, ".pcapng"); }

bool PcapngDayFiles::Append(const std::vector<CommLogEntry>& entries, std::string& path, std::string& reason) {
    return AppendToDayFiles(
        folder_, entries, ".pcapng",
        [&](std::size_t first, std::size_t last, bool fileIsEmpty) {
            // A file that is new, or was left empty by a failed start, begins with the headers.
            std::vector<uint8_t> bytes;
            if (fileIsEmpty) {
                bytes = PcapngSectionHeader();
                const std::vector<uint8_t> idb = PcapngInterface(name_, description_);
                bytes.insert(bytes.end(), idb.begin(), idb.end());
            }
            for (std::size_t i = first; i < last; ++i) {
                const std::vector<uint8_t> packet = PcapngPacketOf(entries[i]);
                bytes.insert(bytes.end(), packet.begin(), packet.end());
            }
            return std::string(bytes.begin(), bytes.end());
        },
        path, reason);
}

}  // namespace corvix
