-- SPDX-License-Identifier: Apache-2.0
-- The fixed part of the Wireshark plugin that `rizorod dissector` writes: the protocol, its own
-- fields, the walker and the registration. The tool writes the data before it, from the rows:
-- the filter fields F, a table R per record, the code tables CODES, debug_customDebug's choices
-- CUSTOM and a few constants. A number's F entry is a table of fields by width, all under one
-- filter name. Each record of R has its name, its size (the bytes its decoder reads), `custom`
-- when it ends with debug_customDebug, and for an address `address`: the format of one byte and
-- the offsets of the address's bytes in the order its text shows them. Each field of a record is
-- a table with its kind `k` and named parts:
--   u   a field line: at, width, key
--   r   a nested record: at, rec, and key for an address
--   a   an element run: at, width, count, key
--   b   a byte run: count_at, ptr_at, key
--   i   an IP address: at, key, label
--   w   a block walk: count_at, nptrs, ptrs_at, per, stride, whole, length, and rec (elements
--       that are records, with key for addresses) or key (elements that are words)
--   c   debug_customDebug's name or access codes
--   if  the fields up to the matching fi only when the byte at `at` holds `value`
--
-- The walker mirrors the decoders: a record is its name line then its fields one level deeper; a
-- byte run is one line at the record's own level, shown only when its count is not 0 and its
-- pointer not null; a block walk stops at the blocks the pointers can address and skips null
-- blocks; the device name and the access-code list follow debug_customDebug, chosen by the
-- record's own first field. Each line is a tree item under the last line one level up, as the
-- tabs nest in the text. A record shorter than its decoder reads shows no field, as a decoding
-- refuses it.

if set_plugin_info then
  set_plugin_info({version = VERSION, description = "RizOrodOzido primitives of rizorod export files"})
end

local rizorod = Proto("rizorod", "RizOrodOzido primitive")
-- (ProtoField.new for texts: ProtoField.string takes a description in a different place in
-- different Wireshark versions.)
F.interface = ProtoField.new("Interface", "rizorod.interface", ftypes.STRING, nil, nil, nil,
  "the primitive's interface: dm, l2cap, rfcomm or sdp")
F.code = ProtoField.uint16("rizorod.code", "Code", base.HEX, nil, nil, "the primitive's type code")
F.stamp = ProtoField.uint8("rizorod.stamp", "Timestamp", base.DEC,
  {[0] = "none in the capture (written as 1970-01-01 00:00:00.000)",
   [1] = "time of day only (written on 1970-01-01)", [2] = "date and time"}, nil,
  "what the capture's timestamp gave")
F.blocks = ProtoField.uint32("rizorod.blocks", "Memory blocks", base.DEC, nil, nil,
  "the number of memory blocks that the packet carries")
F.block = ProtoField.bytes("rizorod.block", "Memory block", base.NONE,
  "the bytes of memory that the record's pointers address")
F.address = ProtoField.uint32("rizorod.address", "Address", base.HEX, nil, nil, "a memory block's address")
F.name = ProtoField.new("Primitive", "rizorod.name", ftypes.STRING, nil, nil, nil, "the primitive's name")
F.record = ProtoField.new("Record", "rizorod.record", ftypes.STRING, nil, nil, nil, "a nested record's name")
-- Fields that share a filter name are registered narrowest first: a filter reads its number as
-- the field registered last, so that every width's values can be asked for.
local list = {}
for _, f in pairs(F) do
  if type(f) == "table" then
    for width = 1, 4 do list[#list + 1] = f[width] end
  else
    list[#list + 1] = f
  end
end
rizorod.fields = list
local malformed = ProtoExpert.new("rizorod.malformed", "Malformed packet", expert.group.MALFORMED,
  expert.severity.ERROR)
rizorod.experts = {malformed}

-- The link type of the packets to dissect: one of the user link types, chosen in the
-- preferences (rizorod.linktype), by default the one the plugin was written for.
local choices = {}
for t = FIRST_USER, LAST_USER do
  choices[#choices + 1] = {tostring(t), string.format("LINKTYPE_USER%d (%d)", t - FIRST_USER, t), t}
end
rizorod.prefs.linktype = Pref.enum("Link type", LINKTYPE,
  "The link type of the packets to show as primitives (rizorod export --linktype)", choices, false)

local function hex(v) return string.format("%02x", v) end

-- A text line at `depth`, as a tree item under the last line one level up: "label = text", or
-- the text alone without a label; the text is the value in hexadecimal unless given. Texts are
-- made only for a tree on show (filters need the values alone).
local function line(x, depth, f, range, value, label, text)
  local item = value == nil and x.up[depth]:add(f, range) or x.up[depth]:add(f, range, value)
  if x.show then item:set_text((label and label .. " = " or "") .. (text or hex(value))) end
  x.up[depth + 1] = item
  return item
end

-- An IPv6 address's text (RFC 5952): the longest run of two or more zero words, the first of
-- equal runs, as "::"; an IPv4 address in IPv6 form as ::ffff:a.b.c.d.
local function ipv6_text(range)
  local w = {}
  for j = 0, 7 do w[j + 1] = range(2 * j, 2):uint() end
  if w[1] + w[2] + w[3] + w[4] + w[5] == 0 and w[6] == 0xffff then
    return string.format("::ffff:%d.%d.%d.%d", range(12, 1):uint(), range(13, 1):uint(), range(14, 1):uint(),
      range(15, 1):uint())
  end
  local best, best_len, j = nil, 1, 1
  while j <= 8 do
    local k = j
    while k <= 8 and w[k] == 0 do k = k + 1 end
    if k - j > best_len then best, best_len = j, k - j end
    j = k == j and j + 1 or k
  end
  local parts, out = {}, ""
  for i = 1, 8 do parts[i] = string.format("%x", w[i]) end
  if not best then return table.concat(parts, ":") end
  return table.concat(parts, ":", 1, best - 1) .. "::" .. table.concat(parts, ":", best + best_len, 8)
end

-- The packet offset of the memory at `address` and how many bytes follow it there.
local function find(x, address)
  for _, b in ipairs(x.blocks) do
    local d = address - b.address
    if d >= 0 and d < b.length then return b.at + d, b.length - d end
  end
  return nil, 0
end

local function missing(a, what, have)
  error(string.format("pointer = 0x%08x needs %s; the packet's memory has %d bytes there", a, what, have), 0)
end

-- The `len` bytes that the pointer field at `at` addresses; nil for a null pointer.
local function follow(x, at, len)
  local a = x.tvb(at, 4):le_uint()
  if a == 0 then return nil end
  local off, have = find(x, a)
  if have < len then missing(a, len .. " bytes", have) end
  return off
end

-- A name fragment: up to `limit` bytes before its first zero byte.
local function fragment(x, at, limit)
  local a = x.tvb(at, 4):le_uint()
  if a == 0 then return nil, 0 end
  local off, have = find(x, a)
  local n = math.min(have, limit)
  if n > 0 then
    local zero = string.find(x.tvb(off, n):raw(), "\0", 1, true)
    if zero then return off, zero - 1 end
  end
  if have < limit then missing(a, "a fragment of " .. limit .. " bytes or one ended by a zero byte", have) end
  return off, limit
end

local function name(x, at, c)
  local tvb, parts = x.tvb, {}
  for i = 0, NAME_PARTS - 1 do
    local off, len = fragment(x, at + c.parts + 4 * i, i == NAME_PARTS - 1 and LAST_PART or PART)
    if not off or len == 0 then break end
    parts[#parts + 1] = tvb(off, len):raw()
    if len < PART then break end
  end
  local text = table.concat(parts)
  line(x, 1, F.name_part, tvb(at + c.parts, 4 * NAME_PARTS), text, "name_part", text)
end

local function laps(x, at, c)
  local n = math.min(x.tvb(at + c.count_at, 1):uint(), c.nptrs * LAPS)
  for first = 0, n - 1, LAPS do
    local k = math.min(n - first, LAPS)
    local block = follow(x, at + c.blocks_at + 4 * (first / LAPS), 4 * k)
    if block then
      for j = 0, k - 1 do
        local range = x.tvb(block + 4 * j, 4)
        line(x, 1, F.iac_lap[4], range, range:le_uint(), "iac_lap")
      end
    end
  end
end

local function custom(x, at)
  local c = CUSTOM[x.tvb(at, 2):le_uint()]
  if not c then
    x.up[0]:add(x.tvb(at, 2), UNKNOWN_CUSTOM)
  elseif c.kind == "name" then
    name(x, at, c)
  else
    laps(x, at, c)
  end
end

local walk

local function blocks(x, f, at, depth)
  local tvb = x.tvb
  local count = math.min(tvb(at + f.count_at, 1):uint(), f.nptrs * f.per)
  for b = 0, math.ceil(count / f.per) - 1 do
    local left = count - b * f.per
    local used = (f.whole or left > f.per) and f.per or left
    local base = follow(x, at + f.ptrs_at + 4 * b, f.stride * (used - 1) + f.length)
    for e = 0, used - 1 do
      if not base then break end
      if f.rec then
        walk(x, f.rec, base + f.stride * e, depth + 1, f.key)
      else
        local range = tvb(base + f.stride * e, f.length)
        line(x, depth + 1, F[f.key][f.length], range, range:le_uint())
      end
    end
  end
end

local function fields(x, r, at, depth)
  local tvb, i = x.tvb, 1
  while r[i] do
    local f = r[i]
    local k = f.k
    if k == "u" then
      local range = tvb(at + f.at, f.width)
      line(x, depth + 1, F[f.key][f.width], range, range:le_uint(), f.key)
    elseif k == "r" then
      walk(x, f.rec, at + f.at, depth + 1, f.key)
    elseif k == "a" then
      for c = 0, f.count - 1 do
        local range = tvb(at + f.at + c * f.width, f.width)
        line(x, depth + 1, F[f.key][f.width], range, range:le_uint(), x.show and f.key .. " [c]")
      end
    elseif k == "b" then
      local count = tvb(at + f.count_at, 2):le_uint()
      local d = count ~= 0 and follow(x, at + f.ptr_at, count)
      if d then
        local range = tvb(d, count)
        line(x, depth, F[f.key], range, nil, nil, x.show and range:bytes():tohex(true, " "))
      end
    elseif k == "i" then
      local range, words = tvb(at + f.at, 16), {}
      for j = 0, x.show and 7 or -1 do words[j + 1] = string.format("%04x", range(2 * j, 2):le_uint()) end
      local text = x.show and table.concat(words, " ") .. " (" .. ipv6_text(range) .. ")"
      line(x, depth + 1, F[f.key], range, nil, f.label, text)
    elseif k == "w" then
      blocks(x, f, at, depth)
    elseif k == "c" then
      custom(x, at)
    elseif k == "if" and tvb(at + f.at, 1):uint() ~= f.value then
      repeat i = i + 1 until r[i].k == "fi"
    end
    i = i + 1
  end
end

-- A record's name line, then its fields. An address record's line is its address field (`key`),
-- showing the address's text after the name, with the record's name as a hidden field.
walk = function(x, r, at, depth, key)
  local range = depth == 0 and x.tvb(at, x.rlen) or x.tvb(at, r.size)
  if depth == 0 then
    line(x, 0, F.name, range, r.name, nil, r.name)
  elseif r.address and key then
    local bytes = {}
    for i, offset in ipairs(r.address) do bytes[i] = string.format(r.address.format, x.tvb(at + offset, 1):uint()) end
    local text = table.concat(bytes, ":")
    line(x, depth, F[key], range, Address.ether(text), nil, r.name .. " (" .. text .. ")")
    x.up[depth]:add(F.record, range, r.name):set_hidden()
  else
    line(x, depth, F.record, range, r.name, nil, r.name)
  end
  fields(x, r, at, depth)
end

-- The bytes of a record at `at` that its decoder reads: its size, or more for the device name or
-- access codes that its own first field selects.
local function needs(x, r, at)
  local c = r.custom and x.rlen >= 2 and CUSTOM[x.tvb(at, 2):le_uint()]
  if not c then return r.size end
  local need
  if c.kind == "name" then
    need = c.parts + 4 * NAME_PARTS
  elseif x.rlen <= c.count_at then
    need = c.count_at + 1
  else
    local blocks = math.ceil(math.min(x.tvb(at + c.count_at, 1):uint(), c.nptrs * LAPS) / LAPS)
    need = blocks == 0 and c.count_at + 1 or c.blocks_at + 4 * blocks
  end
  return math.max(need, r.size)
end

-- The framing: the memory blocks after the record, each as a tree item with its address.
-- Errors for a packet whose lengths run past its end.
local function framing(x, root)
  local tvb = x.tvb
  local at = 12 + x.rlen
  if at + 4 > tvb:len() then
    error(string.format("the record's length %d runs past the packet's %d bytes", x.rlen, tvb:len()), 0)
  end
  local mem = root:add_le(F.blocks, tvb(at, 4))
  for i = 1, tvb(at, 4):le_uint() do
    if at + 12 > tvb:len() then error(string.format("memory block %d runs past the packet's end", i), 0) end
    local a, len = tvb(at + 4, 4):le_uint(), tvb(at + 8, 4):le_uint()
    if at + 12 + len > tvb:len() then error(string.format("memory block %d runs past the packet's end", i), 0) end
    x.blocks[i] = {address = a, at = at + 12, length = len}
    local item = mem:add(F.block, tvb(at + 12, len))
    item:set_text(string.format("@%08x: %d bytes", a, len))
    item:add_le(F.address, tvb(at + 4, 4))
    at = at + 8 + len
  end
end

function rizorod.dissector(tvb, pinfo, tree)
  local root = tree:add(rizorod, tvb())
  pinfo.cols.protocol = "rizorod"
  if tvb:len() < 16 or tvb(0, 1):uint() ~= FRAMING then
    pinfo.cols.info = "not framing version " .. FRAMING
    root:add_proto_expert_info(malformed, "not framing version " .. FRAMING)
    return
  end
  local iface, code, rlen = tvb(1, 1):uint(), tvb(2, 2):le_uint(), tvb(8, 4):le_uint()
  local iname = IFACES[iface] or "?"
  local x = {tvb = tvb, up = {[0] = root}, blocks = {}, rlen = rlen, show = tree.visible}
  root:add(F.interface, tvb(1, 1), iname)
  root:add_le(F.code, tvb(2, 2))
  root:add(F.stamp, tvb(4, 1))
  local r = (CODES[iface] or {})[code]
  pinfo.cols.protocol = iname
  pinfo.cols.info = r and r.name or NOMATCH
  root:append_text(string.format(", %s 0x%04x", iname, code) .. (r and " " .. r.name or ""))
  local ok, err = pcall(framing, x, root)
  if not ok then
    root:add_proto_expert_info(malformed, tostring(err))
    return
  end
  if not r then
    root:add(tvb(12, rlen), NOMATCH)
    return
  end
  local need = needs(x, r, 12)
  if rlen < need then
    root:add_proto_expert_info(malformed, string.format("record needs %d bytes; it has %d", need, rlen))
    return
  end
  ok, err = pcall(walk, x, r, 12, 0)
  if not ok then root:add_proto_expert_info(malformed, tostring(err)) end
end

-- The link type follows the preference.
local registered
local function register()
  local encaps = DissectorTable.get("wtap_encap")
  if registered then encaps:remove(wtap_encaps.USER0 + registered - FIRST_USER, rizorod) end
  registered = rizorod.prefs.linktype
  encaps:add(wtap_encaps.USER0 + registered - FIRST_USER, rizorod)
end
rizorod.prefs_changed = register
register()
