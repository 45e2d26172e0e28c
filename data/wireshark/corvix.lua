-- SPDX-License-Identifier: Apache-2.0
-- Wireshark dissector for the Corvix device link: one packet is one frame as it went over the
-- serial line (or a reception that is no frame at all), in captures of link type USER0 (147)
-- as corvix-cli --pcap and corvix-cli extcap write them.
--
-- Install: copy to ~/.local/lib/wireshark/plugins/ (the package puts it in Wireshark's global
-- plugin folder), or load it once with: tshark -X lua_script:corvix.lua -r capture.pcapng
--
-- Texts from the device (names, signal designations) are in GBK; they are decoded with
-- Wireshark's GB18030 decoder, a superset of GBK.

local corvix = Proto("corvix", "Corvix device link")

-- ---- frame geometry ----
local FRAME_START = 0x58
local FRAME_END = 0x16
local HEADER_SIZE = 10       -- start .. function; the data starts here
local OVERHEAD = 8           -- a frame is its length field + 8 bytes long
local LENGTH_BASE = 7        -- control .. function, counted by the length field
local MAX_LENGTH = 938
local CONFIG_IMAGE_SIZE = 2484
local STAGING_SIZE = 4096    -- what the PC keeps of one configuration read
local CONFIG_PIECE = 928     -- what the PC writes per segment
local EVENT_SIZE = 44
local EVENT_PREFIX = 4       -- skipped in segment 0 of an event transfer
local MAX_EVENTS = 20        -- a segment with more is refused whole
local SIGNAL_NAMES = 72
local SIGNAL_NAME_SIZE = 32

local TYPE_READ, TYPE_WRITE, TYPE_ACK, TYPE_DATA = 0x10, 0x11, 0x06, 0x12
local FC_CONFIG, FC_CLOCK, FC_STATUS = 0x10, 0x22, 0x30
local FC_OUTPUT_TEST, FC_EVENT_LOG, FC_NEW_EVENTS = 0x44, 0x50, 0x55

local type_names = {
    [TYPE_READ] = "Read", [TYPE_WRITE] = "Write", [TYPE_ACK] = "Acknowledge", [TYPE_DATA] = "Data",
}
local function_names = {
    [FC_CONFIG] = "Configuration", [FC_CLOCK] = "Clock", [FC_STATUS] = "Status",
    [FC_OUTPUT_TEST] = "Output test", [FC_EVENT_LOG] = "Event log", [FC_NEW_EVENTS] = "New events",
}
local control_names = {
    [0x40] = "Last segment", [0xC0] = "More segments follow", [0x01] = "Single exchange",
    [0x80] = "Device has more segments",
}
local checksum_status_names = { [0] = "Bad", [1] = "Good", [2] = "Unverified" }
local input_state_names = { [0] = "Off", [1] = "On" }
local output_state_names = { [0] = "Off", [1] = "On" }
local protocol_names = { [0] = "IEC 60870-5-103", [1] = "Modbus RTU" }
local time_sync_names = { [0] = "IRIG B", [1] = "Protocol", [2] = "None" }
local stop_bits_names = { [0] = "1", [1] = "1.5", [2] = "2" }
local parity_names = { [0] = "NONE", [1] = "EVEN", [2] = "ODD" }

-- ---- fields ----
local f = {
    start = ProtoField.uint8("corvix.start", "Start", base.HEX),
    length = ProtoField.uint16("corvix.length", "Length", base.DEC),
    control = ProtoField.uint8("corvix.control", "Control", base.HEX, control_names),
    segment = ProtoField.uint16("corvix.segment", "Segment", base.DEC),
    address = ProtoField.uint8("corvix.address", "Address", base.DEC),
    reserved = ProtoField.uint8("corvix.reserved", "Reserved", base.HEX),
    type = ProtoField.uint8("corvix.type", "Type", base.HEX, type_names),
    func = ProtoField.uint8("corvix.function", "Function", base.HEX, function_names),
    data = ProtoField.bytes("corvix.data", "Data"),
    checksum = ProtoField.uint32("corvix.checksum", "Checksum", base.HEX),
    checksum_computed = ProtoField.uint32("corvix.checksum.computed", "Computed checksum", base.HEX),
    checksum_status = ProtoField.uint8("corvix.checksum.status", "Checksum status", base.DEC,
                                       checksum_status_names),
    stop = ProtoField.uint8("corvix.end", "End", base.HEX),
    trailing = ProtoField.bytes("corvix.trailing", "Trailing bytes"),
    garbage = ProtoField.bytes("corvix.garbage", "Bytes (no frame)"),
    direction = ProtoField.string("corvix.direction", "Direction"),
    resend = ProtoField.uint8("corvix.resend", "Resend", base.DEC),

    status_flags = ProtoField.uint16("corvix.status.flags", "Flags", base.HEX),
    status_new_events = ProtoField.bool("corvix.status.new_events", "New events", 16, nil, 0x0008),
    status_count = ProtoField.uint16("corvix.status.count", "Inputs", base.DEC),
    status_input = ProtoField.uint8("corvix.status.input", "Input state", base.DEC, input_state_names),
    status_firmware = ProtoField.string("corvix.status.firmware", "Firmware version"),

    clock_length = ProtoField.uint16("corvix.clock.length", "Payload length", base.DEC),
    clock_time = ProtoField.string("corvix.clock.time", "Device time"),
    clock_year = ProtoField.uint16("corvix.clock.year", "Year", base.DEC),
    clock_month = ProtoField.uint8("corvix.clock.month", "Month", base.DEC),
    clock_day = ProtoField.uint8("corvix.clock.day", "Day", base.DEC),
    clock_hour = ProtoField.uint8("corvix.clock.hour", "Hour", base.DEC),
    clock_minute = ProtoField.uint8("corvix.clock.minute", "Minute", base.DEC),
    clock_second = ProtoField.uint8("corvix.clock.second", "Second", base.DEC),
    clock_millisecond = ProtoField.uint16("corvix.clock.millisecond", "Millisecond", base.DEC),

    output_count = ProtoField.uint16("corvix.output.count", "Items", base.DEC),
    output_item = ProtoField.uint16("corvix.output.item", "Item", base.DEC),
    output_state = ProtoField.uint8("corvix.output.state", "State", base.DEC, output_state_names),

    event_prefix = ProtoField.bytes("corvix.event.prefix", "Segment prefix"),
    event_count = ProtoField.uint16("corvix.event.count", "Events", base.DEC),
    event_signal = ProtoField.string("corvix.event.signal", "Signal"),
    event_number = ProtoField.uint16("corvix.event.number", "Event number (log slot)", base.DEC),
    event_time = ProtoField.string("corvix.event.time", "Time"),
    event_transition = ProtoField.uint8("corvix.event.transition", "Transition", base.DEC,
                                        { [1] = "Off->On" }),
    event_rest = ProtoField.bytes("corvix.event.rest", "Bytes after the last whole event"),

    config_offset = ProtoField.uint32("corvix.config.offset", "Offset in the configuration image", base.DEC),
    config_name = ProtoField.string("corvix.config.name", "Device name"),
    config_reserved = ProtoField.bytes("corvix.config.reserved", "Reserved"),
    config_device_type = ProtoField.string("corvix.config.device_type", "Device type"),
    config_serial = ProtoField.string("corvix.config.serial_number", "Serial number"),
    config_address = ProtoField.int16("corvix.config.address", "Device address", base.DEC),
    config_protocol = ProtoField.uint8("corvix.config.protocol", "Protocol", base.DEC, protocol_names),
    config_time_sync = ProtoField.uint8("corvix.config.time_sync", "Time synchronisation", base.DEC,
                                        time_sync_names),
    config_padding = ProtoField.bytes("corvix.config.padding", "Padding"),
    config_baud = ProtoField.uint32("corvix.config.baud_rate", "Baud rate", base.DEC),
    config_data_bits = ProtoField.uint8("corvix.config.data_bits", "Data bits", base.DEC),
    config_stop_bits = ProtoField.uint8("corvix.config.stop_bits", "Stop bits", base.DEC, stop_bits_names),
    config_parity = ProtoField.uint8("corvix.config.parity", "Parity", base.DEC, parity_names),
    config_signal_count = ProtoField.uint16("corvix.config.signal_count", "Signal count", base.DEC),
    config_signal_name = ProtoField.string("corvix.config.signal_name", "Signal name"),
    config_part = ProtoField.bytes("corvix.config.part", "Part of a field"),
    config_beyond = ProtoField.bytes("corvix.config.beyond_image", "Beyond the configuration image"),
}
local field_list = {}
for _, field in pairs(f) do field_list[#field_list + 1] = field end
corvix.fields = field_list

-- ---- expert info ----
local e = {
    bad_checksum = ProtoExpert.new("corvix.checksum.bad", "Bad checksum", expert.group.CHECKSUM,
                                   expert.severity.ERROR),
    wrong_length = ProtoExpert.new("corvix.length.wrong", "Wrong length", expert.group.MALFORMED,
                                   expert.severity.ERROR),
    missing_end = ProtoExpert.new("corvix.end.missing", "Missing end byte", expert.group.MALFORMED,
                                  expert.severity.ERROR),
    trailing = ProtoExpert.new("corvix.trailing.bytes", "Trailing bytes after the frame",
                               expert.group.PROTOCOL, expert.severity.WARN),
    no_frame = ProtoExpert.new("corvix.no_frame", "Not a frame", expert.group.MALFORMED,
                               expert.severity.ERROR),
    refused = ProtoExpert.new("corvix.event.refused", "Event segment refused", expert.group.PROTOCOL,
                              expert.severity.WARN),
    unknown = ProtoExpert.new("corvix.unknown", "Unknown type or function", expert.group.UNDECODED,
                              expert.severity.NOTE),
    offset_unknown = ProtoExpert.new("corvix.config.offset_unknown", "Offset in the image unknown",
                                     expert.group.SEQUENCE, expert.severity.NOTE),
}
corvix.experts = { e.bad_checksum, e.wrong_length, e.missing_end, e.trailing, e.no_frame, e.refused,
                   e.unknown, e.offset_unknown }

-- ---- helpers ----

-- Corvix writes "repeat=N" as the comment of a frame the PC sent; N > 0 is a resend.
local comment_field = Field.new("frame.comment")

local function resend_number()
    for _, comment in ipairs({ comment_field() }) do
        local n = tostring(comment.value):match("^repeat=(%d+)$")
        if n then return tonumber(n) end
    end
    return 0
end

-- Label of a code from a table, with the raw value.
local function named(names, value, fallback)
    return string.format("%s (%d)", names[value] or fallback or "Unknown", value)
end

-- A NUL-terminated GBK text in a fixed-width field.
local function text_of(range)
    return range:stringz(ENC_GB18030)
end

local function add_text(tree, field, range, label)
    local text = text_of(range)
    return tree:add(field, range, text, string.format("%s: %s", label, text))
end

-- "%04d-%02d-%02d %02d:%02d:%02d" plus ".%03d" when a millisecond is given.
local function date_text(y, mo, d, h, mi, s, ms)
    local text = string.format("%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s)
    if ms then text = text .. string.format(".%03d", ms) end
    return text
end

-- ---- payloads ----

local function dissect_status(data, tree)
    local n = data:len()
    if n >= 4 then
        local flags = tree:add_le(f.status_flags, data(2, 2))
        flags:add_le(f.status_new_events, data(2, 2))
    end
    if n < 6 then return "" end
    local count = data(4, 2):le_uint()
    tree:add_le(f.status_count, data(4, 2))
    local present = math.max(0, math.min(count, n - 10))
    if present > 0 then
        local states = tree:add(corvix, data(10, present), string.format("Input states (%d)", present))
        for i = 0, present - 1 do
            local v = data(10 + i, 1):uint()
            states:add(f.status_input, data(10 + i, 1), v,
                       string.format("Input %d: %s", i + 1, named(input_state_names, v, "unknown")))
        end
    end
    local summary = string.format(": %d inputs", count)
    if n >= 10 + count + 3 then
        local fw = data(10 + count, 3)
        local version = string.format("%02d.%02d.%02d", fw(0, 1):uint(), fw(1, 1):uint(), fw(2, 1):uint())
        tree:add(f.status_firmware, fw, version)
        summary = summary .. ", firmware " .. version
    end
    if n >= 4 and bit32.band(data(2, 2):le_uint(), 0x0008) ~= 0 then summary = summary .. ", new events" end
    return summary
end

local function dissect_clock(data, tree)
    local n = data:len()
    if n == 0 then return "" end
    if n >= 2 then tree:add_le(f.clock_length, data(0, 2)) end
    if n < 9 then return "" end
    local y, mo, d = data(2, 2):le_uint(), data(4, 1):uint(), data(5, 1):uint()
    local h, mi, s = data(6, 1):uint(), data(7, 1):uint(), data(8, 1):uint()
    local ms = n >= 11 and data(9, 2):le_uint() or nil
    local text = date_text(y, mo, d, h, mi, s, ms)
    local t = tree:add(f.clock_time, data(2, n >= 11 and 9 or 7), text)
    t:add_le(f.clock_year, data(2, 2))
    t:add(f.clock_month, data(4, 1))
    t:add(f.clock_day, data(5, 1))
    t:add(f.clock_hour, data(6, 1))
    t:add(f.clock_minute, data(7, 1))
    t:add(f.clock_second, data(8, 1))
    if ms then t:add_le(f.clock_millisecond, data(9, 2)) end
    return ": " .. text
end

-- Request: length, count, one byte, then items of number + state. Reply: items of 5 bytes
-- (number, state, two more bytes) from offset 5.
local function dissect_output_test(data, tree, request)
    local n = data:len()
    if n < 4 then return "" end
    local count = data(2, 2):le_uint()
    tree:add_le(f.output_count, data(2, 2))
    local size = request and 3 or 5
    local summary = ""
    for i = 0, count - 1 do
        local at = 5 + i * size
        if at + 3 > n then break end
        local item, state = data(at, 2):le_uint(), data(at + 2, 1):uint()
        local sub = tree:add(corvix, data(at, math.min(size, n - at)),
                             string.format("Item %d: %s", item, named(output_state_names, state)))
        sub:add_le(f.output_item, data(at, 2))
        sub:add(f.output_state, data(at + 2, 1))
        if item == 0 then summary = ": CPU failure test " .. (output_state_names[state] or tostring(state)) end
    end
    return summary
end

local function dissect_events(data, tree, segment)
    local n = data:len()
    local at = 0
    if segment == 0 and n > 0 then
        tree:add(f.event_prefix, data(0, math.min(EVENT_PREFIX, n)))
        at = EVENT_PREFIX
    end
    local count = n > at and math.floor((n - at) / EVENT_SIZE) or 0
    local item = tree:add(f.event_count, count)
    item:set_generated()
    if count > MAX_EVENTS then
        item:add_proto_expert_info(e.refused, string.format(
            "%d events in one segment (at most %d): the PC ignores the segment and ends the transfer",
            count, MAX_EVENTS))
    end
    for i = 0, count - 1 do
        local r = data(at + i * EVENT_SIZE, EVENT_SIZE)
        local signal = text_of(r(0, 32))
        local dir = r(43, 1):uint()
        local when = date_text(r(34, 2):le_uint(), r(36, 1):uint(), r(37, 1):uint(), r(38, 1):uint(),
                               r(39, 1):uint(), r(40, 1):uint(), r(41, 2):le_uint())
        local transition = dir == 1 and "Off->On" or "On->Off"
        local sub = tree:add(corvix, r, string.format("Event %d: %s %s %s", r(32, 2):le_uint(), when, signal,
                                                      transition))
        sub:add(f.event_signal, r(0, 32), signal)
        sub:add_le(f.event_number, r(32, 2))
        sub:add(f.event_time, r(34, 9), when)
        sub:add(f.event_transition, r(43, 1), dir, string.format("Transition: %s (%d)", transition, dir))
    end
    local rest = n - at - count * EVENT_SIZE
    if rest > 0 and n > at then tree:add(f.event_rest, data(n - rest, rest)) end
    return string.format(": %d event%s", count, count == 1 and "" or "s")
end

-- The fields of the configuration image: offset, width, how to show them.
local image_layout = {}
local function image_field(offset, width, label, show)
    image_layout[#image_layout + 1] = { offset, width, label, show }
end
local function port_label(i) return i == 0 and "Port B1" or "Port B2" end

image_field(0, 100, "Device name", function(t, r) add_text(t, f.config_name, r, "Device name") end)
image_field(100, 20, "Reserved", function(t, r) t:add(f.config_reserved, r) end)
image_field(120, 16, "Device type", function(t, r) add_text(t, f.config_device_type, r, "Device type") end)
image_field(136, 20, "Serial number", function(t, r) add_text(t, f.config_serial, r, "Serial number") end)
image_field(156, 2, "Device address", function(t, r) t:add_le(f.config_address, r) end)
for i = 0, 1 do
    image_field(158 + i, 1, port_label(i) .. " protocol", function(t, r)
        t:add(f.config_protocol, r, r:uint(), port_label(i) .. " protocol: " .. named(protocol_names, r:uint()))
    end)
end
image_field(160, 1, "Time synchronisation", function(t, r) t:add(f.config_time_sync, r) end)
image_field(161, 3, "Padding", function(t, r) t:add(f.config_padding, r) end)
for i = 0, 1 do
    image_field(164 + 4 * i, 4, port_label(i) .. " baud rate", function(t, r)
        t:add(f.config_baud, r, r:le_uint(), string.format("%s baud rate: %d", port_label(i), r:le_uint()))
    end)
end
for i = 0, 1 do
    image_field(172 + i, 1, port_label(i) .. " data bits", function(t, r)
        t:add(f.config_data_bits, r, r:uint(), string.format("%s data bits: %d", port_label(i), r:uint()))
    end)
end
for i = 0, 1 do
    image_field(174 + i, 1, port_label(i) .. " stop bits", function(t, r)
        t:add(f.config_stop_bits, r, r:uint(), port_label(i) .. " stop bits: " .. named(stop_bits_names, r:uint()))
    end)
end
for i = 0, 1 do
    image_field(176 + i, 1, port_label(i) .. " parity", function(t, r)
        t:add(f.config_parity, r, r:uint(), port_label(i) .. " parity: " .. named(parity_names, r:uint()))
    end)
end
image_field(178, 2, "Signal count", function(t, r) t:add_le(f.config_signal_count, r) end)
for i = 0, SIGNAL_NAMES - 1 do
    image_field(180 + SIGNAL_NAME_SIZE * i, SIGNAL_NAME_SIZE, string.format("Signal name %d", i + 1),
                function(t, r, signal_count)
        local item = add_text(t, f.config_signal_name, r, string.format("Signal name %d", i + 1))
        if signal_count ~= nil and i >= signal_count then item:append_text(" (beyond the signal count: unused)") end
    end)
end

local function dissect_config_piece(data, tree, offset, signal_count)
    local n = data:len()
    if n == 0 then return "" end
    if offset == nil then
        tree:add_proto_expert_info(e.offset_unknown,
                                   "Offset in the configuration image unknown: an earlier segment is not in the capture")
        return string.format(": %d bytes", n)
    end
    tree:add(f.config_offset, offset):set_generated()
    local last = offset + n  -- one past the piece's last byte, in image offsets
    for _, field in ipairs(image_layout) do
        local from, width, label, show = field[1], field[2], field[3], field[4]
        local a, b = math.max(from, offset), math.min(from + width, last)
        if a < b then
            local r = data(a - offset, b - a)
            if a == from and b == from + width then
                show(tree, r, signal_count)
            else
                tree:add(f.config_part, r):append_text(string.format(" (%s, image bytes %d..%d of %d..%d)",
                                                                     label, a, b - 1, from, from + width - 1))
            end
        end
    end
    if last > CONFIG_IMAGE_SIZE then
        local from = math.max(offset, CONFIG_IMAGE_SIZE)
        local item = tree:add(f.config_beyond, data(from - offset, last - from))
        if last > STAGING_SIZE then item:append_text(" (past byte 4096: the PC drops these)") end
    end
    return string.format(": image bytes %d..%d", offset, last - 1)
end

-- ---- configuration transfers ----
-- A piece's place in the image follows from the pieces before it in its transfer. State is
-- built on the first, in-order pass and remembered per packet for later passes.
local config_places = {}  -- packet number -> { offset = ..., count = ... }, either may be nil
local transfers = {}      -- "read" / "write" -> { [segment] = { offset, length }, count = signal count }

function corvix.init()
    config_places = {}
    transfers = {}
end

-- The piece's offset in the image (nil when unknown) and the transfer's signal count as far
-- as it is known at this piece (nil before the piece that holds it).
local function config_place(pinfo, kind, segment, data)
    local known = config_places[pinfo.number]
    if known ~= nil then return known.offset, known.count end
    local length = data:len()
    if segment == 0 then transfers[kind] = {} end
    local t = transfers[kind]
    local offset
    if segment == 0 then
        offset = 0
    elseif t ~= nil and t[segment] ~= nil then
        offset = t[segment][1]  -- the same segment again (a resend or a repeated reply)
    elseif t ~= nil and t[segment - 1] ~= nil then
        offset = t[segment - 1][1] + t[segment - 1][2]
    elseif kind == "write" then
        offset = segment * CONFIG_PIECE  -- the PC's pieces are all full but the last
    end
    if t ~= nil and offset ~= nil then t[segment] = { offset, length } end
    local count = t and t.count
    if offset ~= nil and offset <= 178 and offset + length >= 180 then
        count = data(178 - offset, 2):le_uint()
        if t ~= nil then t.count = count end
    end
    config_places[pinfo.number] = { offset = offset, count = count }
    return offset, count
end

-- ---- the frame ----

local function checksum_of(tvb, from, count)
    local sum = 0
    for i = from, from + count - 1 do sum = sum + tvb(i, 1):uint() end
    return sum % 4294967296
end

-- Who sent the packet: the capture's direction flag when there is one, else the frame type.
local function sent_by_pc(pinfo, frame_type)
    if pinfo.p2p_dir == P2P_DIR_SENT then return true end
    if pinfo.p2p_dir == P2P_DIR_RECV then return false end
    return frame_type == TYPE_READ or frame_type == TYPE_WRITE
end

local function dissect_data(tvb, pinfo, tree, header, data)
    local fc, ty = header.func, header.type
    if data:len() == 0 then return "" end
    local sub = tree:add(f.data, data)
    if fc == FC_STATUS and ty == TYPE_DATA then return dissect_status(data, sub) end
    if fc == FC_CLOCK and (ty == TYPE_DATA or ty == TYPE_WRITE) then return dissect_clock(data, sub) end
    if fc == FC_OUTPUT_TEST and (ty == TYPE_DATA or ty == TYPE_WRITE) then
        return dissect_output_test(data, sub, ty == TYPE_WRITE)
    end
    if (fc == FC_EVENT_LOG or fc == FC_NEW_EVENTS) and ty == TYPE_DATA then
        return dissect_events(data, sub, header.segment)
    end
    if fc == FC_CONFIG and (ty == TYPE_DATA or ty == TYPE_WRITE) then
        local kind = ty == TYPE_DATA and "read" or "write"
        return dissect_config_piece(data, sub, config_place(pinfo, kind, header.segment, data))
    end
    return string.format(": %d data bytes", data:len())
end

function corvix.dissector(tvb, pinfo, tree)
    local size = tvb:captured_len()
    if size == 0 then return 0 end
    pinfo.cols.protocol = "CORVIX"
    local root = tree:add(corvix, tvb())

    -- A reception that cannot begin a frame: garbage on the line.
    if tvb(0, 1):uint() ~= FRAME_START or size < 3 then
        root:add(f.garbage, tvb())
        local why = tvb(0, 1):uint() ~= FRAME_START and "no start byte 0x58"
                    or string.format("only %d bytes", size)
        root:add_proto_expert_info(e.no_frame, "Not a frame: " .. why)
        pinfo.cols.info = string.format("%d bytes, not a frame (%s)", size, why)
        return size
    end

    local length = tvb(1, 2):le_uint()
    local frame_size = length + OVERHEAD
    local header = {}
    root:add(f.start, tvb(0, 1))
    local length_item = root:add_le(f.length, tvb(1, 2))
    if length < LENGTH_BASE then
        length_item:add_proto_expert_info(e.wrong_length, string.format(
            "Wrong length: %d is less than the 7 header bytes it must count", length))
    elseif length > MAX_LENGTH then
        length_item:add_proto_expert_info(e.wrong_length, string.format(
            "Wrong length: %d is more than the largest, %d", length, MAX_LENGTH))
    end
    if size < frame_size then
        length_item:add_proto_expert_info(e.wrong_length, string.format(
            "Wrong length: the length field asks for a %d-byte frame, the packet has %d bytes",
            frame_size, size))
    end

    -- Header fields that the length field counts and the packet holds.
    local counted = math.min(size, 3 + length)
    local function header_field(offset, width, field, key)
        if offset + width > counted then return end
        local r = tvb(offset, width)
        if width == 2 then root:add_le(field, r) else root:add(field, r) end
        header[key] = width == 2 and r:le_uint() or r:uint()
    end
    header_field(3, 1, f.control, "control")
    header_field(4, 2, f.segment, "segment")
    header_field(6, 1, f.address, "address")
    header_field(7, 1, f.reserved, "reserved")
    header_field(8, 1, f.type, "type")
    header_field(9, 1, f.func, "func")

    local by_pc = sent_by_pc(pinfo, header.type)
    local device = string.format("Device %d", header.address or 0)
    root:add(f.direction, by_pc and "PC -> device" or "device -> PC"):set_generated()
    local resend = by_pc and resend_number() or 0
    if resend > 0 then root:add(f.resend, resend):set_generated() end
    pinfo.cols.src = by_pc and "PC" or device
    pinfo.cols.dst = by_pc and "device" or "PC"

    local summary = ""
    if header.func ~= nil then
        local data_length = math.max(0, math.min(length - LENGTH_BASE, size - HEADER_SIZE))
        local data = data_length > 0 and tvb(HEADER_SIZE, data_length) or tvb(0, 0)
        summary = dissect_data(tvb, pinfo, root, header, data)
        if type_names[header.type] == nil or function_names[header.func] == nil then
            root:add_proto_expert_info(e.unknown, string.format("Unknown type 0x%02x or function 0x%02x",
                                                                header.type, header.func))
        end
    end

    -- Checksum and end byte where the packet holds them.
    local status = 2
    if length >= 1 and size >= 3 + length + 4 then
        local sent = tvb(3 + length, 4):le_uint()
        local computed = checksum_of(tvb, 3, length)
        local item = root:add_le(f.checksum, tvb(3 + length, 4))
        root:add(f.checksum_computed, computed):set_generated()
        status = sent == computed and 1 or 0
        if status == 1 then
            item:append_text(" [correct]")
        else
            item:append_text(string.format(" [incorrect, should be 0x%08x]", computed))
            item:add_proto_expert_info(e.bad_checksum, string.format(
                "Bad checksum: 0x%08x in the frame, 0x%08x computed", sent, computed))
        end
    end
    root:add(f.checksum_status, status):set_generated()
    local end_ok = false
    if size >= frame_size then
        local end_item = root:add(f.stop, tvb(frame_size - 1, 1))
        end_ok = tvb(frame_size - 1, 1):uint() == FRAME_END
        if not end_ok then
            end_item:add_proto_expert_info(e.missing_end, string.format(
                "Missing end byte: 0x%02x where 0x16 belongs", tvb(frame_size - 1, 1):uint()))
        end
    else
        root:add_proto_expert_info(e.missing_end, "Missing end byte: the packet ends before it")
    end
    if size > frame_size then
        root:add(f.trailing, tvb(frame_size, size - frame_size))
        root:add_proto_expert_info(e.trailing, string.format("%d bytes after the frame's end",
                                                              size - frame_size))
    end

    local words = {}
    words[#words + 1] = type_names[header.type or -1] or string.format("Type 0x%02x", header.type or 0)
    words[#words + 1] = function_names[header.func or -1] or string.format("function 0x%02x", header.func or 0)
    if (header.segment or 0) ~= 0 then words[#words + 1] = string.format("segment %d", header.segment) end
    local info = table.concat(words, " ") .. summary
    if resend > 0 then info = info .. string.format(" [resend %d]", resend) end
    if status == 0 then info = info .. " [bad checksum]" end
    if size < frame_size then info = info .. " [short]" end
    if size >= frame_size and not end_ok then info = info .. " [no end byte]" end
    if size > frame_size then info = info .. " [trailing bytes]" end
    pinfo.cols.info = info
    root:append_text(", " .. table.concat(words, " "))
    return size
end

-- Captures of link type USER0 open decoded, without Decode As.
DissectorTable.get("wtap_encap"):add(wtap.USER0, corvix)
