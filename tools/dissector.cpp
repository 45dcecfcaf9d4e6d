// The Lua dissector, written from the layout table: the filter fields, a table per record, the
// code tables and debug_customDebug's choices are data made here; the walker that turns them into
// tree lines is fixed code (kWalker) that follows the decoders' own rules.
#include "dissector.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include "pcapng.h"

namespace rizorod::tool {
namespace {

// The fixed part: the protocol, its own fields, the walker and the registration. It mirrors the
// decoders: a record is its name line then its fields one level deeper; a byte run is one line at
// the record's own level, printed only when its count is not 0 and its pointer not null; a block
// walk stops at the blocks the pointers can address and skips null blocks; the device name and
// the access-code list follow debug_customDebug, chosen by the record's own first field. Each
// line is a tree item under the last line one level up, as the tabs nest in the text.
constexpr char kWalker[] = R"lua(
local rizorod = Proto("rizorod", "RizOrodOzido primitive")
F.interface = ProtoField.string("rizorod.interface", "Interface")
F.code = ProtoField.uint16("rizorod.code", "Code", base.HEX)
F.stamp = ProtoField.uint8("rizorod.stamp", "Timestamp", base.DEC,
  {[0] = "none in the capture (written as 1970-01-01 00:00:00.000)",
   [1] = "time of day only (written on 1970-01-01)", [2] = "date and time"})
F.blocks = ProtoField.uint32("rizorod.blocks", "Memory blocks")
F.block = ProtoField.bytes("rizorod.block", "Memory block")
F.address = ProtoField.uint32("rizorod.address", "Address", base.HEX)
F.name = ProtoField.string("rizorod.name", "Primitive")
F.record = ProtoField.string("rizorod.record", "Record")
local list = {}
for _, f in pairs(F) do list[#list + 1] = f end
rizorod.fields = list

local NOMATCH = "ERROR: none of the prim types matched, default reached"
local UNKNOWN_CUSTOM = "Unknown customDebug Primitive type"

local function hex(v) return string.format("%02x", v) end

-- A text line at `depth`, as a tree item under the last line one level up: "label = text", or
-- the text alone without a label; the text is the value in hexadecimal unless given. Texts are
-- made only for a tree on show (filters need the values alone).
local function line(x, depth, f, range, value, label, text)
  local item = value == nil and x.up[depth]:add(f, range) or x.up[depth]:add(f, range, value)
  if x.show then item:set_text((label and label .. " = " or "") .. (text or hex(value))) end
  x.up[depth + 1] = item
end

-- The packet offset of the memory at `address` and how many bytes follow it there.
local function find(x, address)
  for _, b in ipairs(x.blocks) do
    local d = address - b[1]
    if d >= 0 and d < b[3] then return b[2] + d, b[3] - d end
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

local function custom(x, at)
  local tvb = x.tvb
  local c = CUSTOM[tvb(at, 2):le_uint()]
  if not c then
    x.up[0]:add(tvb(at, 2), UNKNOWN_CUSTOM)
  elseif c[1] == "name" then
    local parts = {}
    for i = 0, NAME_PARTS - 1 do
      local off, len = fragment(x, at + c[2] + 4 * i, i == NAME_PARTS - 1 and LAST_PART or PART)
      if not off or len == 0 then break end
      parts[#parts + 1] = tvb(off, len):raw()
      if len < PART then break end
    end
    local name = table.concat(parts)
    line(x, 1, F.name_part, tvb(at + c[2], 4 * NAME_PARTS), name, "name_part", name)
  else
    local n = math.min(tvb(at + c[2], 1):uint(), c[4] * LAPS)
    for first = 0, n - 1, LAPS do
      local k = math.min(n - first, LAPS)
      local block = follow(x, at + c[3] + 4 * (first / LAPS), 4 * k)
      if block then
        for j = 0, k - 1 do
          local range = tvb(block + 4 * j, 4)
          local v = range:le_uint()
          line(x, 1, F.iac_lap, range, v, "iac_lap")
        end
      end
    end
  end
end

local walk
local function fields(x, r, at, depth)
  local tvb, i = x.tvb, 1
  while r[i] do
    local f = r[i]
    local k = f[1]
    if k == "u" then
      local range = tvb(at + f[2], f[3])
      local v = range:le_uint()
      line(x, depth + 1, F[f[4]], range, v, f[4])
    elseif k == "r" then
      walk(x, f[3], at + f[2], depth + 1)
    elseif k == "a" then
      for c = 0, f[4] - 1 do
        local range = tvb(at + f[2] + c * f[3], f[3])
        local v = range:le_uint()
        line(x, depth + 1, F[f[5]], range, v, x.show and f[5] .. " [c]")
      end
    elseif k == "b" then
      local count = tvb(at + f[2], 2):le_uint()
      local d = count ~= 0 and follow(x, at + f[3], count)
      if d then
        local range = tvb(d, count)
        line(x, depth, F[f[4]], range, nil, nil, x.show and range:bytes():tohex(true, " "))
      end
    elseif k == "i" then
      local range, words = tvb(at + f[2], 16), {}
      for j = 0, x.show and 7 or -1 do words[j + 1] = string.format("%04x", range(2 * j, 2):le_uint()) end
      line(x, depth + 1, F[f[3]], range, nil, f[4], table.concat(words, " "))
    elseif k == "w" then
      local per, stride, len = f[5], f[6], f[8]
      local count = math.min(tvb(at + f[2], 1):uint(), f[3] * per)
      for b = 0, math.ceil(count / per) - 1 do
        local left = count - b * per
        local used = (f[7] or left > per) and per or left
        local base = follow(x, at + f[4] + 4 * b, stride * (used - 1) + len)
        for e = 0, used - 1 do
          if not base then break end
          if f[9] then
            walk(x, f[9], base + stride * e, depth + 1)
          else
            local range = tvb(base + stride * e, len)
            local v = range:le_uint()
            line(x, depth + 1, F[f[10]], range, v)
          end
        end
      end
    elseif k == "c" then
      custom(x, at)
    elseif k == "if" and tvb(at + f[2], 1):uint() ~= f[3] then
      repeat i = i + 1 until r[i][1] == "fi"
    end
    i = i + 1
  end
end

walk = function(x, r, at, depth)
  if depth == 0 then
    line(x, 0, F.name, x.tvb(at, x.rlen), r.n, nil, r.n)
  else
    line(x, depth, F.record, x.tvb(at, r.z), r.n, nil, r.n)
  end
  fields(x, r, at, depth)
end

function rizorod.dissector(tvb, pinfo, tree)
  local root = tree:add(rizorod, tvb())
  pinfo.cols.protocol = "rizorod"
  if tvb:len() < 16 or tvb(0, 1):uint() ~= FRAMING then
    pinfo.cols.info = "not framing version " .. FRAMING
    root:add_expert_info(PI_MALFORMED, PI_ERROR, "not framing version " .. FRAMING)
    return
  end
  local iface, code, rlen = tvb(1, 1):uint(), tvb(2, 2):le_uint(), tvb(8, 4):le_uint()
  local name = IFACES[iface] or "?"
  local x = {tvb = tvb, up = {[0] = root}, blocks = {}, rlen = rlen, show = tree.visible}
  root:add(F.interface, tvb(1, 1), name)
  root:add_le(F.code, tvb(2, 2))
  root:add(F.stamp, tvb(4, 1))
  local at = 12 + rlen
  local mem = root:add_le(F.blocks, tvb(at, 4))
  for i = 1, tvb(at, 4):le_uint() do
    local a, len = tvb(at + 4, 4):le_uint(), tvb(at + 8, 4):le_uint()
    x.blocks[i] = {a, at + 12, len}
    local item = mem:add(F.block, tvb(at + 12, len))
    item:set_text(string.format("@%08x: %d bytes", a, len))
    item:add_le(F.address, tvb(at + 4, 4))
    at = at + 8 + len
  end
  local r = (CODES[iface] or {})[code]
  pinfo.cols.protocol = name
  pinfo.cols.info = r and r.n or NOMATCH
  root:append_text(string.format(", %s 0x%04x", name, code) .. (r and " " .. r.n or ""))
  if not r then
    root:add(tvb(12, rlen), NOMATCH)
    return
  end
  local ok, err = pcall(walk, x, r, 12, 0)
  if not ok then root:add_expert_info(PI_MALFORMED, PI_ERROR, tostring(err)) end
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0 + USER, rizorod)
)lua";

// Keys of the fixed part: its own fields ('x'), and those of the device-name ('s', a text) and
// access-code ('u', a number) lines, which a row's label of the same class shares.
const std::map<std::string, char> kFixed = {
    {"interface", 'x'}, {"code", 'x'}, {"stamp", 'x'},     {"blocks", 'x'},    {"block", 'x'},
    {"address", 'x'},   {"name", 'x'}, {"record", 'x'},    {"name_part", 's'}, {"iac_lap", 'u'}};

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string number(unsigned v) { return std::to_string(v); }

// Appends every part to `out`.
template <class... Parts>
void put(std::string& out, const Parts&... parts) {
    (out.append(parts), ...);
}

class Generator {
public:
    std::string run(unsigned linktype, std::string_view version) {
        for (Interface iface : kInterfaces)
            for (const Primitive& p : primitives(iface)) collect(layout(iface, p.code));
        assign_keys();

        std::string out;
        put(out, "-- RizOrodOzido primitives in Wireshark: the dissector of `rizorod export` files,\n",
            "-- written by `rizorod dissector` (rizorod ", version, ") from the decoders' rows.\n",
            "-- Regenerate it rather than edit it; see docs/WIRESHARK.md.\n");
        put(out, "local FRAMING, USER = ", number(pcapng::kFramingVersion), ", ",
            number(linktype - pcapng::kFirstUserLinkType), "\n");
        put(out, "local NAME_PARTS, PART, LAST_PART, LAPS = ", number(RIZOROD_NAME_PARTS), ", ",
            number(RIZOROD_NAME_PART_BYTES), ", ", number(RIZOROD_NAME_LAST_PART_BYTES), ", ",
            number(RIZOROD_LAPS_PER_BLOCK), "\n");
        put(out, "local IFACES = {");
        for (Interface iface : kInterfaces)
            put(out, "[", number(static_cast<unsigned>(iface)), "] = ", quoted(interface_name(iface)), ", ");
        put(out, "}\n\nlocal F = {}\n");
        for (const auto& [key, cls] : keys_) {
            if (cls == 'x') continue;  // the fixed part defines it
            put(out, "F[", quoted(key), "] = ProtoField.",
                cls == 'u' ? "uint32" : cls == 'b' ? "bytes" : "string", "(", quoted("rizorod." + key), ", ",
                quoted(key), cls == 'u' ? ", base.HEX)\n" : ")\n");
        }

        put(out, "\nlocal R = {}\n");
        for (Interface iface : kInterfaces)
            for (const Primitive& p : primitives(iface)) emit(layout(iface, p.code), out);
        put(out, "\nlocal CODES = {}\n");
        for (Interface iface : kInterfaces) {
            put(out, "CODES[", number(static_cast<unsigned>(iface)), "] = {\n");
            for (const Primitive& p : primitives(iface)) {
                char code[16];
                std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(p.code));
                put(out, "  [", code, "] = R[", quoted(layout(iface, p.code)->name), "],\n");
            }
            put(out, "}\n");
        }
        put(out, "\nlocal CUSTOM = {\n");
        for (unsigned first = 0; first <= 0xffff; ++first) {
            const rizorod_layout_custom* c = custom_rendering(static_cast<std::uint16_t>(first));
            if (c == nullptr) continue;
            char key[16];
            std::snprintf(key, sizeof key, "0x%04x", first);
            if (c->kind == RIZOROD_CUSTOM_NAME)
                put(out, "  [", key, "] = {\"name\", ", number(c->parts), "},\n");
            else
                put(out, "  [", key, "] = {\"laps\", ", number(c->count), ", ", number(c->blocks), ", ",
                    number(c->nptrs), "},\n");
        }
        put(out, "}\n", kWalker);
        return out;
    }

private:
    // The label of the pointer field at `offset`: it names the run or the blocks it addresses.
    static std::string pointer_label(const rizorod_layout_record* r, unsigned offset) {
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
            if (f->kind == RIZOROD_LAYOUT_PTR && f->offset == offset) return f->label;
        throw std::logic_error(std::string(r->name) + ": no pointer field at offset " + number(offset));
    }

    // Gathers the labels of every line: numbers ('u') and byte strings ('b').
    void collect(const rizorod_layout_record* r) {
        if (!seen_.insert(r).second) return;
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
            switch (f->kind) {
            case RIZOROD_LAYOUT_REC: collect(f->record); break;
            case RIZOROD_LAYOUT_RUN: bytes_.insert(pointer_label(r, f->pointer)); break;
            case RIZOROD_LAYOUT_IP: bytes_.insert(f->label); break;
            case RIZOROD_LAYOUT_BLOCKS:
                if (f->record->name != nullptr)
                    collect(f->record);
                else
                    numbers_.insert(pointer_label(r, f->pointer));
                break;
            case RIZOROD_LAYOUT_PTR:
            case RIZOROD_LAYOUT_NEWLINE:
            case RIZOROD_LAYOUT_CUSTOM:
            case RIZOROD_LAYOUT_CASE:
            case RIZOROD_LAYOUT_CASE_END: break;
            default: numbers_.insert(f->label); break;  // scalars and element runs
            }
        }
    }

    // A number's key is its label. A byte string's key is its label too, unless a number or the
    // fixed part holds that label: then LABEL.bytes.
    void assign_keys() {
        for (const auto& [key, cls] : kFixed) keys_[key] = cls;
        for (const std::string& label : numbers_) {
            const auto [it, added] = keys_.emplace(label, 'u');
            if (!added && it->second != 'u')
                throw std::logic_error("the label " + label + " is a field of the dissector's own");
        }
        for (const std::string& label : bytes_) {
            const std::string key = keys_.count(label) ? label + ".bytes" : label;
            if (!keys_.emplace(key, 'b').second) throw std::logic_error("the key " + key + " is taken");
            bytes_key_[label] = key;
        }
    }

    // R["NAME"] = {n = name, z = size, fields...}, after the records it refers to.
    void emit(const rizorod_layout_record* r, std::string& out) {
        if (!emitted_.insert(r).second) return;
        if (!names_.insert(r->name).second) throw std::logic_error(std::string("two records named ") + r->name);
        std::string body;
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
            const std::string o = number(f->offset);
            switch (f->kind) {
            case RIZOROD_LAYOUT_REC:
                emit(f->record, out);
                put(body, "{\"r\", ", o, ", R[", quoted(f->record->name), "]}");
                break;
            case RIZOROD_LAYOUT_ARR:
                put(body, "{\"a\", ", o, ", ", number(f->width), ", ", number(f->count), ", ",
                    quoted(f->label), "}");
                break;
            case RIZOROD_LAYOUT_RUN:
                put(body, "{\"b\", ", o, ", ", number(f->pointer), ", ",
                    quoted(bytes_key_.at(pointer_label(r, f->pointer))), "}");
                break;
            case RIZOROD_LAYOUT_IP:
                put(body, "{\"i\", ", o, ", ", quoted(bytes_key_.at(f->label)), ", ", quoted(f->label), "}");
                break;
            case RIZOROD_LAYOUT_BLOCKS: {
                const bool named = f->record->name != nullptr;
                if (named) emit(f->record, out);
                put(body, "{\"w\", ", o, ", ", number(f->count), ", ", number(f->pointer), ", ",
                    number(f->per_block), ", ", number(f->stride), ", ", f->whole ? "true" : "false", ", ",
                    number(layout_size(f->record)), ", ");
                if (named)
                    put(body, "R[", quoted(f->record->name), "]}");
                else
                    put(body, "false, ", quoted(pointer_label(r, f->pointer)), "}");
                break;
            }
            case RIZOROD_LAYOUT_CUSTOM: put(body, "{\"c\"}"); break;
            case RIZOROD_LAYOUT_CASE: put(body, "{\"if\", ", o, ", ", number(f->count), "}"); break;
            case RIZOROD_LAYOUT_CASE_END: put(body, "{\"fi\"}"); break;
            case RIZOROD_LAYOUT_PTR:
            case RIZOROD_LAYOUT_NEWLINE: continue;  // no line, or an empty one
            default: put(body, "{\"u\", ", o, ", ", number(f->width), ", ", quoted(f->label), "}"); break;
            }
            put(body, ", ");
        }
        put(out, "R[", quoted(r->name), "] = {n = ", quoted(r->name), ", z = ", number(layout_size(r)), ", ",
            body, "}\n");
    }

    std::set<const rizorod_layout_record*> seen_, emitted_;
    std::set<std::string> numbers_, bytes_, names_;
    std::map<std::string, char> keys_;
    std::map<std::string, std::string> bytes_key_;
};

}  // namespace

std::string dissector_lua(unsigned linktype, std::string_view version) {
    return Generator().run(linktype, version);
}

}  // namespace rizorod::tool
