// SPDX-License-Identifier: Apache-2.0
// The Lua dissector, written from the layout table: the filter fields, a table per record, the
// code tables and debug_customDebug's choices are data made here; the walker that turns them into
// tree lines is fixed Lua (tools/dissector.lua) that follows the decoders' own rules.
#include "dissector.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>

#include <string_view>
#include "pcapng.h"

namespace rizorod::tool {
namespace {

// The fixed part: the protocol, its own fields, the walker and the registration (dissector.lua,
// carried by the tool as kDissectorLua).
#include "dissector_lua.inc"

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

// A text of the library without its line end.
std::string_view line_text(std::string_view text) { return text.substr(0, text.find('\n')); }

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
        put(out, "local NOMATCH, UNKNOWN_CUSTOM = ", quoted(line_text(RIZOROD_NO_MATCH_TEXT)), ", ",
            quoted(line_text(RIZOROD_UNKNOWN_CUSTOM_TEXT)), "\n");
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
            switch (static_cast<rizorod_layout_custom_kind>(c->kind)) {
            case RIZOROD_CUSTOM_NAME: put(out, "  [", key, "] = {kind = \"name\", parts = ", number(c->parts), "},\n"); break;
            case RIZOROD_CUSTOM_LAPS:
                put(out, "  [", key, "] = {kind = \"laps\", count_at = ", number(c->count), ", blocks_at = ",
                    number(c->blocks), ", nptrs = ", number(c->nptrs), "},\n");
                break;
            }
        }
        put(out, "}\n", kDissectorLua);
        return out;
    }

private:
    // The label of the pointer field at `offset`: it names the run or the blocks it addresses.
    static std::string pointer_label(const rizorod_layout_record* r, unsigned offset) {
        if (const char* label = rizorod_pointer_label(r, offset)) return label;
        throw std::logic_error(std::string(r->name) + ": no pointer field at offset " + number(offset));
    }

    // Gathers the labels of every line: numbers ('u') and byte strings ('b').
    void collect(const rizorod_layout_record* r) {
        if (!seen_.insert(r).second) return;
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
            switch (rizorod_kind(f)) {
            case RIZOROD_LAYOUT_U8:
            case RIZOROD_LAYOUT_B8:
            case RIZOROD_LAYOUT_I8:
            case RIZOROD_LAYOUT_U16:
            case RIZOROD_LAYOUT_ENUM:
            case RIZOROD_LAYOUT_U32:
            case RIZOROD_LAYOUT_I32:
            case RIZOROD_LAYOUT_U24:
            case RIZOROD_LAYOUT_ARR: numbers_.insert(f->label); break;
            case RIZOROD_LAYOUT_REC: collect(f->record); break;
            case RIZOROD_LAYOUT_RUN: bytes_.insert(pointer_label(r, f->pointer)); break;
            case RIZOROD_LAYOUT_IP: bytes_.insert(f->label); break;
            case RIZOROD_LAYOUT_BLOCKS:
                if (f->record->name != nullptr)
                    collect(f->record);
                else
                    numbers_.insert(pointer_label(r, f->pointer));
                break;
            case RIZOROD_LAYOUT_END:
            case RIZOROD_LAYOUT_PTR:
            case RIZOROD_LAYOUT_NEWLINE:
            case RIZOROD_LAYOUT_CUSTOM:
            case RIZOROD_LAYOUT_CASE:
            case RIZOROD_LAYOUT_CASE_END: break;
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

    // R["NAME"] = {name = ..., size = ..., fields...}, after the records it refers to.
    void emit(const rizorod_layout_record* r, std::string& out) {
        if (!emitted_.insert(r).second) return;
        if (!names_.insert(r->name).second) throw std::logic_error(std::string("two records named ") + r->name);
        std::string body;
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
            if ((f->kind == RIZOROD_LAYOUT_REC || f->kind == RIZOROD_LAYOUT_BLOCKS) && f->record->name != nullptr)
                emit(f->record, out);
            const std::string field = field_lua(r, *f);
            if (!field.empty()) put(body, field, ", ");
        }
        put(out, "R[", quoted(r->name), "] = {name = ", quoted(r->name), ", size = ", number(layout_size(r)),
            ", ", body, "}\n");
    }

    // One field of record `r` as dissector.lua reads it; empty for a field without a line.
    std::string field_lua(const rizorod_layout_record* r, const rizorod_layout_field& f) const {
        const std::string at = number(f.offset);
        std::string out;
        switch (rizorod_kind(&f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24:
            put(out, "{k = \"u\", at = ", at, ", width = ", number(f.width), ", key = ", quoted(f.label), "}");
            break;
        case RIZOROD_LAYOUT_REC: put(out, "{k = \"r\", at = ", at, ", rec = R[", quoted(f.record->name), "]}"); break;
        case RIZOROD_LAYOUT_ARR:
            put(out, "{k = \"a\", at = ", at, ", width = ", number(f.width), ", count = ", number(f.count),
                ", key = ", quoted(f.label), "}");
            break;
        case RIZOROD_LAYOUT_RUN:
            put(out, "{k = \"b\", count_at = ", at, ", ptr_at = ", number(f.pointer), ", key = ",
                quoted(bytes_key_.at(pointer_label(r, f.pointer))), "}");
            break;
        case RIZOROD_LAYOUT_IP:
            put(out, "{k = \"i\", at = ", at, ", key = ", quoted(bytes_key_.at(f.label)), ", label = ",
                quoted(f.label), "}");
            break;
        case RIZOROD_LAYOUT_BLOCKS:
            put(out, "{k = \"w\", count_at = ", at, ", nptrs = ", number(f.count), ", ptrs_at = ", number(f.pointer),
                ", per = ", number(f.per_block), ", stride = ", number(f.stride), ", whole = ",
                f.whole ? "true" : "false", ", length = ", number(layout_size(f.record)), ", ");
            if (f.record->name != nullptr) put(out, "rec = R[", quoted(f.record->name), "]}");
            else put(out, "key = ", quoted(pointer_label(r, f.pointer)), "}");
            break;
        case RIZOROD_LAYOUT_CUSTOM: put(out, "{k = \"c\"}"); break;
        case RIZOROD_LAYOUT_CASE: put(out, "{k = \"if\", at = ", at, ", value = ", number(f.count), "}"); break;
        case RIZOROD_LAYOUT_CASE_END: put(out, "{k = \"fi\"}"); break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_PTR:
        case RIZOROD_LAYOUT_NEWLINE: break;  // no line, or an empty one
        }
        return out;
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
