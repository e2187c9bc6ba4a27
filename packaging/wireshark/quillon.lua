-- SPDX-License-Identifier: Apache-2.0
-- Wireshark dissectors for the Quillon bootloader protocol and Pellisk's unit announces.
--
-- quillon: a heuristic dissector on UDP, because the bootloader listens on whatever port the
--   user typed. It also takes UDP port 69 (the usual bootloader port, which Wireshark would
--   otherwise give to TFTP) and hands a datagram that is not Quillon's back to TFTP there.
--   Once a wake-up datagram is seen its UDP conversation is bound to quillon, so the Frames
--   that follow are decoded even where another dissector owns the port.
-- pellisk: the announces that units send to UDP port 30303.
--
-- Load it with `-X lua_script:quillon.lua`, or put it into a Lua plugin folder
-- (`tshark -G folders`).

local quillon = Proto("quillon", "Quillon bootloader protocol")
local pellisk = Proto("pellisk", "Pellisk unit announce")

local SOH, EOT, DLE = 0x01, 0x04, 0x10
local WAKEUP_PREFIX = "remotebootl"
local WAKEUP_LENGTH = 15
local BOOTLOADER_PORT = 69
local ANNOUNCE_PORT = 30303
local ANNOUNCE_MIN_LENGTH = 32

local CMD_READ_VERSION, CMD_ERASE, CMD_PROGRAM, CMD_VERIFY, CMD_EXIT, CMD_RESET_DEFAULTS =
    1, 2, 3, 4, 5, 6

local command_names = {
    [CMD_READ_VERSION] = "CMD_READ_VERSION",
    [CMD_ERASE] = "CMD_ERASE",
    [CMD_PROGRAM] = "CMD_PROGRAM",
    [CMD_VERIFY] = "CMD_VERIFY",
    [CMD_EXIT] = "CMD_EXIT",
    [CMD_RESET_DEFAULTS] = "CMD_RESET_DEFAULTS",
}
local direction_names = { [0] = "Request", [1] = "Reply" }
local record_type_names = {
    [0] = "Data",
    [1] = "End of file",
    [2] = "Extended segment address",
    [3] = "Start segment address",
    [4] = "Extended linear address",
    [5] = "Start linear address",
}
local crc_status_names = { [0] = "Bad", [1] = "Good" }

local f = {
    wakeup = ProtoField.string("quillon.wakeup", "Wake-up"),
    wakeup_variant = ProtoField.string("quillon.wakeup.variant", "Timing variant"),
    direction = ProtoField.uint8("quillon.direction", "Direction", base.DEC, direction_names),
    command = ProtoField.uint8("quillon.command", "Command", base.DEC, command_names),
    body = ProtoField.bytes("quillon.body", "Body (unescaped)"),
    escapes = ProtoField.uint16("quillon.escapes", "Escaped bytes", base.DEC),
    frame_crc = ProtoField.uint16("quillon.frame_crc", "Frame CRC-16", base.HEX),
    frame_crc_computed = ProtoField.uint16("quillon.frame_crc.computed", "Computed CRC-16",
                                           base.HEX),
    frame_crc_status = ProtoField.uint8("quillon.frame_crc.status", "Frame CRC status", base.DEC,
                                        crc_status_names),
    version = ProtoField.string("quillon.version", "Bootloader version"),
    version_major = ProtoField.uint8("quillon.version.major", "Major version", base.DEC),
    version_minor = ProtoField.uint8("quillon.version.minor", "Minor version", base.DEC),
    name = ProtoField.string("quillon.name", "Device name"),
    start = ProtoField.uint32("quillon.start", "Start address", base.HEX),
    length = ProtoField.uint32("quillon.length", "Length", base.DEC),
    crc = ProtoField.uint16("quillon.crc", "Image CRC-16", base.HEX),
    records = ProtoField.uint8("quillon.records", "Records", base.DEC),
    record = ProtoField.bytes("quillon.record", "Record"),
    record_length = ProtoField.uint8("quillon.record.length", "Data length", base.DEC),
    record_offset = ProtoField.uint16("quillon.record.offset", "Load offset", base.HEX),
    record_type = ProtoField.uint8("quillon.record.type", "Record type", base.DEC,
                                   record_type_names),
    record_data = ProtoField.bytes("quillon.record.data", "Data"),
    record_checksum = ProtoField.uint8("quillon.record.checksum", "Checksum", base.HEX),
    trailing = ProtoField.bytes("quillon.trailing", "Ignored bytes"),
}
quillon.fields = f

local function warning(abbr, text, group)
    return ProtoExpert.new(abbr, text, group, expert.severity.WARN)
end
local function note(abbr, text, group)
    return ProtoExpert.new(abbr, text, group, expert.severity.NOTE)
end

local e = {
    bad_crc = warning("quillon.frame_crc.bad", "Frame CRC-16 is wrong: the receiver drops it",
                      expert.group.CHECKSUM),
    unterminated = warning("quillon.unterminated", "Frame has no end byte in this datagram",
                           expert.group.MALFORMED),
    too_short = warning("quillon.too_short", "Frame is too short to carry a body and its CRC",
                        expert.group.MALFORMED),
    restart = note("quillon.restart", "A start byte inside the Frame restarts it",
                   expert.group.SEQUENCE),
    trailing = note("quillon.trailing.ignored",
                    "Bytes behind the first Frame are ignored by the receiver",
                    expert.group.PROTOCOL),
    unknown_command = warning("quillon.command.unknown", "Unknown command code",
                              expert.group.PROTOCOL),
    short_payload = warning("quillon.payload.short", "Payload shorter than the command needs",
                            expert.group.MALFORMED),
    record_truncated = warning("quillon.record.truncated",
                               "Record runs past the end of the request", expert.group.MALFORMED),
    record_checksum = note("quillon.record.checksum.bad",
                           "Record checksum does not add up (nothing checks it on the way)",
                           expert.group.CHECKSUM),
    verify_mismatch = warning("quillon.crc.mismatch",
                              "Device CRC differs from the verify request: verification fails",
                              expert.group.PROTOCOL),
}
quillon.experts = e

-- Bootloader endpoints ("address:port") learnt from wake-ups, and the last verify CRC sent to
-- each; both are forgotten when a new capture is read.
local bootloaders = {}
local verify_sent = {}

function quillon.init()
    bootloaders = {}
    verify_sent = {}
end

-- Text from a unit is untrusted: each control character (C0, DEL, C1) shows as U+FFFD, so that
-- a name can't break a column or a tree line. Valid UTF-8 passes; a stray byte reads as Latin-1.
local REPLACEMENT = "\239\191\189"
-- A byte read as Latin-1, in UTF-8.
local function latin1_char(byte)
    if byte < 0x80 then return string.char(byte) end
    return string.char(0xC0 + bit32.rshift(byte, 6), 0x80 + bit32.band(byte, 0x3F))
end
local function shown_text(text)
    local out = {}
    local i, n = 1, #text
    while i <= n do
        local c = text:byte(i)
        local length, cp = 1, c
        if c >= 0xC2 and c <= 0xF4 then
            local need = c <= 0xDF and 2 or (c <= 0xEF and 3 or 4)
            cp = bit32.band(c, need == 2 and 0x1F or (need == 3 and 0x0F or 0x07))
            local valid = i + need - 1 <= n
            for k = 1, need - 1 do
                local b = valid and text:byte(i + k) or 0
                if bit32.band(b, 0xC0) ~= 0x80 then
                    valid = false
                    break
                end
                cp = cp * 64 + bit32.band(b, 0x3F)
            end
            if valid and not ((need == 3 and cp < 0x800) or (need == 4 and (cp < 0x10000 or
                cp > 0x10FFFF)) or (cp >= 0xD800 and cp <= 0xDFFF)) then
                length = need
            else
                cp = c
            end
        end
        if cp < 0x20 or (cp >= 0x7F and cp < 0xA0) then
            out[#out + 1] = REPLACEMENT
        elseif length == 1 then
            out[#out + 1] = latin1_char(cp)
        else
            out[#out + 1] = text:sub(i, i + length - 1)
        end
        i = i + length
    end
    return table.concat(out)
end

local function endpoint(address, port)
    return tostring(address) .. ":" .. tostring(port)
end

-- CRC-16/XMODEM, bitwise; the nibble table of the unit gives the same result.
local function crc16(bytes, first, last)
    local crc = 0
    for i = first, last do
        crc = bit32.bxor(crc, bit32.lshift(bytes[i], 8))
        for _ = 1, 8 do
            if bit32.btest(crc, 0x8000) then
                crc = bit32.band(bit32.bxor(bit32.lshift(crc, 1), 0x1021), 0xFFFF)
            else
                crc = bit32.band(bit32.lshift(crc, 1), 0xFFFF)
            end
        end
    end
    return crc
end

local function wakeup_variant(tvb)
    if tvb:len() ~= WAKEUP_LENGTH then return nil end
    if tvb(0, #WAKEUP_PREFIX):string() ~= WAKEUP_PREFIX then return nil end
    if tvb(WAKEUP_LENGTH - 1, 1):uint() ~= 0 then return nil end
    local variant = tvb(#WAKEUP_PREFIX, 3):string()
    if variant == "std" or variant == "ext" or variant == "ind" then return variant end
    return nil
end

-- Unescapes the first Frame of the datagram the way the unit's decoder does. Returns the
-- decoded bytes (1-based), the offset just behind the end byte (nil when there is none), the
-- number of escapes and whether a start byte restarted the Frame.
local function unescape(tvb)
    local bytes, escapes, restarted = {}, 0, false
    local escaped = false
    local n = tvb:len()
    for i = 1, n - 1 do
        local b = tvb(i, 1):uint()
        if escaped then
            bytes[#bytes + 1] = b
            escaped = false
        elseif b == DLE then
            escaped = true
            escapes = escapes + 1
        elseif b == EOT then
            return bytes, i + 1, escapes, restarted
        elseif b == SOH then
            bytes, restarted = {}, true
        else
            bytes[#bytes + 1] = b
        end
    end
    return bytes, nil, escapes, restarted
end

local function to_tvb(bytes, label)
    local ba = ByteArray.new()
    ba:set_size(#bytes)
    for i, b in ipairs(bytes) do ba:set_index(i - 1, b) end
    return ba:tvb(label)
end

-- The loader is the side that sent the wake-up. Without a wake-up in the capture, port 69 is
-- the bootloader's, and failing that the lower port is (the loader's is ephemeral).
local function is_reply(pinfo)
    local dst = endpoint(pinfo.dst, pinfo.dst_port)
    local src = endpoint(pinfo.src, pinfo.src_port)
    if bootloaders[dst] then return false end
    if bootloaders[src] then return true end
    if pinfo.dst_port == BOOTLOADER_PORT then return false end
    if pinfo.src_port == BOOTLOADER_PORT then return true end
    return pinfo.src_port < pinfo.dst_port
end

local function le32(body, at)
    return body(at, 4):le_uint()
end

-- Records lie back to back behind the command byte: count, offset (2), type, data, checksum.
local function dissect_records(body, tree)
    local len = body:len()
    local count, offset = 0, 1
    while offset < len and offset + body(offset, 1):uint() + 5 <= len do
        count = count + 1
        offset = offset + body(offset, 1):uint() + 5
    end
    tree:add(f.records, count):set_generated()
    offset = 1
    for index = 1, count do
        local data_length = body(offset, 1):uint()
        local size = data_length + 5
        local rtype = body(offset + 3, 1):uint()
        local item = tree:add(f.record, body(offset, size))
        item:set_text(string.format("Record %d: %s, offset 0x%04x, %d data bytes", index,
                                    record_type_names[rtype] or ("type " .. rtype),
                                    body(offset + 1, 2):uint(), data_length))
        item:add(f.record_length, body(offset, 1))
        item:add(f.record_offset, body(offset + 1, 2))
        item:add(f.record_type, body(offset + 3, 1))
        if data_length > 0 then item:add(f.record_data, body(offset + 4, data_length)) end
        local sum = 0
        for i = 0, size - 1 do sum = sum + body(offset + i, 1):uint() end
        local checksum = item:add(f.record_checksum, body(offset + 4 + data_length, 1))
        if bit32.band(sum, 0xFF) ~= 0 then checksum:add_proto_expert_info(e.record_checksum) end
        offset = offset + size
    end
    if offset < len then
        tree:add(f.record, body(offset)):add_proto_expert_info(e.record_truncated)
    end
    return count
end

local function dissect_payload(body, pinfo, tree, command, reply, conversation)
    local len = body:len()
    local info = ""
    local function need(n)
        if len >= n then return true end
        tree:add_proto_expert_info(e.short_payload)
        return false
    end
    if command == CMD_READ_VERSION and reply then
        if not need(3) then return info end
        local major, minor = body(1, 1):uint(), body(2, 1):uint()
        local version = string.format("%u.%02u", major, minor)
        tree:add(f.version, body(1, 2), version)
        tree:add(f.version_major, body(1, 1))
        tree:add(f.version_minor, body(2, 1))
        info = " v" .. version
        if len > 3 then
            local field = body(3, math.min(16, len - 3))
            local name = shown_text(field:raw():match("^[^\0]*"))
            tree:add(f.name, field, name)
            info = info .. " \"" .. name .. "\""
        end
    elseif command == CMD_VERIFY and not reply then
        if not need(11) then return info end
        local start, length, crc = le32(body, 1), le32(body, 5), body(9, 2):le_uint()
        tree:add_le(f.start, body(1, 4))
        tree:add_le(f.length, body(5, 4))
        tree:add_le(f.crc, body(9, 2))
        verify_sent[conversation] = crc
        info = string.format(" start 0x%08x length %u crc 0x%04x", start, length, crc)
    elseif command == CMD_VERIFY and reply then
        if not need(3) then return info end
        local crc = body(1, 2):le_uint()
        local item = tree:add_le(f.crc, body(1, 2))
        item:set_text(string.format("Device's CRC-16: 0x%04x", crc))
        local expected = verify_sent[conversation]
        if expected and expected ~= crc then item:add_proto_expert_info(e.verify_mismatch) end
        info = string.format(" crc 0x%04x", crc)
    elseif command == CMD_PROGRAM and not reply then
        local count = dissect_records(body, tree)
        info = string.format(" %d records", count)
    end
    return info
end

local function dissect_frame(tvb, pinfo, tree, bytes, stop, escapes, restarted)
    local reply = is_reply(pinfo)
    local subtree = tree:add(quillon, tvb(0, stop))
    if restarted then subtree:add_proto_expert_info(e.restart) end

    local decoded = to_tvb(bytes, "Unescaped Frame")
    local body_length = #bytes - 2
    local body = decoded(0, body_length):tvb()
    local command = bytes[1]

    subtree:add(f.direction, reply and 1 or 0):set_generated()
    local command_item = subtree:add(f.command, decoded(0, 1))
    if not command_names[command] then command_item:add_proto_expert_info(e.unknown_command) end
    subtree:add(f.body, decoded(0, body_length))
    if escapes > 0 then subtree:add(f.escapes, escapes):set_generated() end

    local received = decoded(body_length, 2):le_uint()
    local computed = crc16(bytes, 1, body_length)
    local crc_item = subtree:add_le(f.frame_crc, decoded(body_length, 2))
    subtree:add(f.frame_crc_computed, computed):set_generated()
    local good = received == computed
    subtree:add(f.frame_crc_status, good and 1 or 0):set_generated()
    if not good then crc_item:add_proto_expert_info(e.bad_crc) end

    local conversation = reply and endpoint(pinfo.src, pinfo.src_port)
        or endpoint(pinfo.dst, pinfo.dst_port)
    local info = dissect_payload(body, pinfo, subtree, command, reply, conversation)

    local name = command_names[command] or ("command " .. command)
    local summary = (reply and "Reply " or "Request ") .. name .. info
    if not good then summary = summary .. " [bad CRC]" end
    subtree:append_text(", " .. summary)
    pinfo.cols.info:set(summary)

    if stop < tvb:len() then
        subtree:add(f.trailing, tvb(stop)):add_proto_expert_info(e.trailing)
    end
    return tvb:len()
end

-- strict: only datagrams that are certainly Quillon's (a heuristic must not claim others).
local function dissect_quillon(tvb, pinfo, tree, strict)
    local variant = wakeup_variant(tvb)
    if variant then
        bootloaders[endpoint(pinfo.dst, pinfo.dst_port)] = true
        pinfo.cols.protocol:set("Quillon")
        pinfo.cols.info:set("Wake-up " .. tvb(0, WAKEUP_LENGTH - 1):string())
        local subtree = tree:add(quillon, tvb())
        subtree:append_text(", Wake-up")
        subtree:add(f.direction, 0):set_generated()
        subtree:add(f.wakeup, tvb(), tvb():stringz())
        subtree:add(f.wakeup_variant, tvb(#WAKEUP_PREFIX, 3))
        pinfo.conversation = quillon
        return tvb:len()
    end

    local n = tvb:len()
    if n < 1 or tvb(0, 1):uint() ~= SOH then return 0 end
    local bytes, stop, escapes, restarted = unescape(tvb)
    if strict then
        if not stop or #bytes < 3 or bytes[1] < 1 or bytes[1] > 6 then return 0 end
        -- A bad CRC is claimed only on a conversation that a wake-up has shown to be ours.
        local known = bootloaders[endpoint(pinfo.dst, pinfo.dst_port)]
            or bootloaders[endpoint(pinfo.src, pinfo.src_port)]
        local received = bytes[#bytes - 1] + 256 * bytes[#bytes]
        if not known and crc16(bytes, 1, #bytes - 2) ~= received then return 0 end
    end
    pinfo.cols.protocol:set("Quillon")
    if not stop or #bytes < 3 then
        local subtree = tree:add(quillon, tvb())
        subtree:add_proto_expert_info(stop and e.too_short or e.unterminated)
        pinfo.cols.info:set("Incomplete Frame")
        return n
    end
    return dissect_frame(tvb, pinfo, tree, bytes, stop, escapes, restarted)
end

-- Port 69 and conversations bound by a wake-up come here. A TFTP datagram starts with a zero
-- byte, never with a start byte, so on port 69 everything that is not ours goes to TFTP.
local tftp = Dissector.get("tftp")
function quillon.dissector(tvb, pinfo, tree)
    local consumed = dissect_quillon(tvb, pinfo, tree, false)
    if consumed > 0 then return consumed end
    if tftp and (pinfo.src_port == BOOTLOADER_PORT or pinfo.dst_port == BOOTLOADER_PORT) then
        -- TFTP throws on a datagram too short for it; it has marked it malformed by then, and
        -- its exception must not surface as an error of this script.
        local ok, consumed = pcall(Dissector.call, tftp, tvb, pinfo, tree)
        if ok then return consumed end
        return tvb:len()
    end
    return 0
end
DissectorTable.get("udp.port"):add(BOOTLOADER_PORT, quillon)

local function heuristic(tvb, pinfo, tree)
    return dissect_quillon(tvb, pinfo, tree, true) > 0
end
quillon:register_heuristic("udp", heuristic)

-- Pellisk announces ------------------------------------------------------------------------

local pf = {
    name = ProtoField.string("pellisk.name", "Device name"),
    mac = ProtoField.string("pellisk.mac", "MAC address"),
    message = ProtoField.string("pellisk.message", "Message"),
    ignored = ProtoField.string("pellisk.ignored", "Ignored line"),
    lines = ProtoField.uint8("pellisk.lines", "Lines", base.DEC),
}
pellisk.fields = pf

local pe = {
    short = note("pellisk.dropped.short", "Announce shorter than 32 characters: Pellisk drops it",
                 expert.group.PROTOCOL),
    lines = note("pellisk.dropped.lines",
                 "Announce has fewer than three CR LF separated lines: Pellisk drops it",
                 expert.group.PROTOCOL),
}
pellisk.experts = pe

function pellisk.dissector(tvb, pinfo, tree)
    local n = tvb:len()
    if n == 0 then return 0 end
    pinfo.cols.protocol:set("Pellisk")
    local subtree = tree:add(pellisk, tvb())
    local text = tvb:raw()

    -- Pieces cut at every CR LF exactly; a lone CR or LF belongs to its field.
    local pieces = {}
    local from = 1
    while true do
        local at = string.find(text, "\r\n", from, true)
        if not at then
            pieces[#pieces + 1] = { from, n }
            break
        end
        pieces[#pieces + 1] = { from, at - 1 }
        from = at + 2
    end
    subtree:add(pf.lines, #pieces):set_generated()

    local fields = { pf.name, pf.mac, pf.message }
    for i, piece in ipairs(pieces) do
        local first, last = piece[1], piece[2]
        local length = last - first + 1
        local field = fields[i] or pf.ignored
        if length > 0 then
            subtree:add(field, tvb(first - 1, length), shown_text(string.sub(text, first, last)))
        else
            subtree:add(field, ""):set_generated()
        end
    end

    local dropped = false
    if n < ANNOUNCE_MIN_LENGTH then
        subtree:add_proto_expert_info(pe.short)
        dropped = true
    end
    if #pieces < 3 then
        subtree:add_proto_expert_info(pe.lines)
        dropped = true
    end
    local name = shown_text(string.sub(text, pieces[1][1], pieces[1][2]))
    local info = "Announce " .. name
    if pieces[2] then
        info = info .. " " .. shown_text(string.sub(text, pieces[2][1], pieces[2][2]))
    end
    if dropped then info = info .. " [dropped]" end
    pinfo.cols.info:set(info)
    return n
end

DissectorTable.get("udp.port"):add(ANNOUNCE_PORT, pellisk)
