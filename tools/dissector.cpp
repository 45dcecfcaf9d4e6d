// SPDX-License-Identifier: Apache-2.0
// The Lua dissector, written from the layout table: the filter fields, a table per record, the
// code tables and debug_customDebug's choices are data made here; the walker that turns them into
// tree lines is fixed Lua (tools/dissector.lua) that follows the decoders' own rules.
#include "dissector.h"

#include <algorithm>
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

// What a filter field holds. Numbers have one field per width under one filter name.
enum class Class : char { fixed, number, text, ipv6, ether, bytes };

// Keys of the fixed part: its own fields, and those of the device-name (a text) and access-code
// (a number) lines, which a row's label of the same class shares.
const std::map<std::string, Class> kFixed = {
    {"interface", Class::fixed}, {"code", Class::fixed},  {"stamp", Class::fixed},
    {"blocks", Class::fixed},    {"block", Class::fixed}, {"address", Class::fixed},
    {"name", Class::fixed},      {"record", Class::fixed}, {"name_part", Class::text},
    {"iac_lap", Class::number}};

// A field's key when another class holds its label: LABEL.SUFFIX.
const char* suffix(Class c) {
    switch (c) {
    case Class::ipv6: return ".ipv6";
    case Class::ether: return ".ether";
    case Class::bytes: return ".bytes";
    case Class::fixed:
    case Class::number:
    case Class::text: break;
    }
    return "";
}

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

// Where an address record's bytes are, in the order of its text form: the library's own text of
// a record whose byte i holds 0xa0 + i, read back. The text's case comes along as the format of
// one byte.
struct AddressOrder {
    std::vector<unsigned> offsets;
    const char* format = "%02x";
};

AddressOrder address_order(const rizorod_layout_record* r) {
    std::uint8_t bytes[16];
    for (unsigned i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(0xa0 + i);
    std::string text;
    switch (address_form(r)) {
    case AddressForm::bd_addr: {
        // bd_addr_text takes the record's fields lap, uap and nap.
        std::uint32_t part[3] = {};
        const char* names[3] = {"lap", "uap", "nap"};
        for (int i = 0; i < 3; ++i) {
            const rizorod_layout_field* f = r->fields;
            while (f->kind != RIZOROD_LAYOUT_END && (f->label == nullptr || std::string_view(f->label) != names[i]))
                ++f;
            if (f->kind == RIZOROD_LAYOUT_END || f->offset + f->width > sizeof bytes)
                throw std::logic_error(std::string(r->name) + " has no field " + names[i]);
            for (unsigned b = 0; b < f->width; ++b) part[i] |= std::uint32_t{bytes[f->offset + b]} << 8 * b;
        }
        text = bd_addr_text(part[0], static_cast<std::uint8_t>(part[1]), static_cast<std::uint16_t>(part[2]));
        break;
    }
    case AddressForm::ether: text = ether_text(bytes); break;
    case AddressForm::none: throw std::logic_error(std::string(r->name) + " is not an address");
    }
    AddressOrder order;
    for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
        const unsigned byte = static_cast<unsigned>(std::stoul(text.substr(at, 2), nullptr, 16));
        order.offsets.push_back(byte - 0xa0);
        if (text[at] >= 'A' && text[at] <= 'F') order.format = "%02X";
    }
    return order;
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
        put(out, "local VERSION, FRAMING, LINKTYPE = ", quoted(version), ", ", number(pcapng::kFramingVersion), ", ",
            number(linktype), "\n");
        put(out, "local FIRST_USER, LAST_USER = ", number(pcapng::kFirstUserLinkType), ", ",
            number(pcapng::kLastUserLinkType), "\n");
        put(out, "local NAME_PARTS, PART, LAST_PART, LAPS = ", number(RIZOROD_NAME_PARTS), ", ",
            number(RIZOROD_NAME_PART_BYTES), ", ", number(RIZOROD_NAME_LAST_PART_BYTES), ", ",
            number(RIZOROD_LAPS_PER_BLOCK), "\n");
        put(out, "local NOMATCH, UNKNOWN_CUSTOM = ", quoted(line_text(RIZOROD_NO_MATCH_TEXT)), ", ",
            quoted(line_text(RIZOROD_UNKNOWN_CUSTOM_TEXT)), "\n");
        put(out, "local IFACES = {");
        for (Interface iface : kInterfaces)
            put(out, "[", number(static_cast<unsigned>(iface)), "] = ", quoted(interface_name(iface)), ", ");
        put(out, "}\n\nlocal F = {}\n");
        for (const auto& [key, field] : keys_) emit_field(key, field, out);

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
    // A filter field: its class, and for each width (numbers) or once (0, other classes) what it
    // is and the records it comes from, for its description.
    struct Use {
        std::set<std::string> what;
        std::vector<std::string> records;
    };
    struct Field {
        Class cls = Class::number;
        std::map<unsigned, Use> uses;
    };

    // The label of the pointer field at `offset`: it names the run or the blocks it addresses.
    static std::string pointer_label(const rizorod_layout_record* r, unsigned offset) {
        if (const char* label = rizorod_pointer_label(r, offset)) return label;
        throw std::logic_error(std::string(r->name) + ": no pointer field at offset " + number(offset));
    }

    static std::string bits(unsigned width) { return number(8 * width) + "-bit "; }

    // Notes that `label` of class `cls` appears in record `r`, `width` bytes wide, as `what`.
    void note(Class cls, const std::string& label, const rizorod_layout_record* r, unsigned width,
              const std::string& what) {
        auto [it, added] = labels_.emplace(std::make_pair(cls, label), Field{cls, {}});
        Use& use = it->second.uses[cls == Class::number ? width : 0];
        use.what.insert(what);
        if (std::find(use.records.begin(), use.records.end(), r->name) == use.records.end())
            use.records.push_back(r->name);
    }

    // Gathers the labels of every line.
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
            case RIZOROD_LAYOUT_U24: note(Class::number, f->label, r, f->width, bits(f->width) + "field"); break;
            case RIZOROD_LAYOUT_ARR:
                note(Class::number, f->label, r, f->width, bits(f->width) + "element of a run of " + number(f->count));
                break;
            case RIZOROD_LAYOUT_REC:
                if (address_form(f->record) != AddressForm::none)
                    note(Class::ether, f->label, r, 0, address_what(f->record));
                collect(f->record);
                break;
            case RIZOROD_LAYOUT_RUN:
                note(Class::bytes, pointer_label(r, f->pointer), r, 0, "byte run addressed by this pointer");
                break;
            case RIZOROD_LAYOUT_IP: note(Class::ipv6, f->label, r, 0, "IP address as IPv6"); break;
            case RIZOROD_LAYOUT_BLOCKS:
                if (f->record->name == nullptr) {
                    const unsigned width = layout_size(f->record);
                    note(Class::number, pointer_label(r, f->pointer), r, width,
                         bits(width) + "word of the blocks addressed by these pointers");
                } else {
                    if (address_form(f->record) != AddressForm::none)
                        note(Class::ether, pointer_label(r, f->pointer), r, 0, address_what(f->record));
                    collect(f->record);
                }
                break;
            case RIZOROD_LAYOUT_CUSTOM:
                note(Class::text, "name_part", r, 0, "device name, followed through its name fragments");
                note(Class::number, "iac_lap", r, 4, "32-bit access code of the access-code list");
                break;
            case RIZOROD_LAYOUT_END:
            case RIZOROD_LAYOUT_PTR:
            case RIZOROD_LAYOUT_NEWLINE:
            case RIZOROD_LAYOUT_CASE:
            case RIZOROD_LAYOUT_CASE_END: break;
            }
        }
    }

    static std::string address_what(const rizorod_layout_record* r) {
        switch (address_form(r)) {
        case AddressForm::bd_addr: return std::string("Bluetooth device address (") + r->name + ")";
        case AddressForm::ether: return std::string("Ethernet address (") + r->name + ")";
        case AddressForm::none: break;
        }
        return r->name;
    }

    // A number's key is its label; the fixed part's keys are its own. Every other class takes its
    // label too, unless a number, the fixed part or a class before it holds the label: then
    // LABEL.SUFFIX (.ipv6, .ether, .bytes).
    void assign_keys() {
        for (const auto& [key, cls] : kFixed) keys_[key].cls = cls;
        for (Class cls : {Class::number, Class::text, Class::ipv6, Class::ether, Class::bytes}) {
            for (auto& [id, field] : labels_) {
                if (id.first != cls) continue;
                const std::string& label = id.second;
                std::string key = label;
                const auto taken = keys_.find(label);
                if (taken != keys_.end() && taken->second.cls != cls) {
                    if (cls == Class::number || cls == Class::text)
                        throw std::logic_error("the label " + label + " is a field of the dissector's own");
                    key += suffix(cls);
                }
                Field& into = keys_[key];
                if (!into.uses.empty() && into.cls != cls) throw std::logic_error("the key " + key + " is taken");
                into.cls = cls;
                for (auto& [width, use] : field.uses) into.uses[width] = use;
                key_of_[id] = key;
            }
        }
    }

    const std::string& key(Class cls, const std::string& label) const { return key_of_.at({cls, label}); }

    // The description of a field: what it is, and the records it comes from.
    static std::string blurb(const Use& use) {
        std::string out;
        for (const std::string& what : use.what) put(out, out.empty() ? "" : "; ", what);
        out += ", in ";
        const std::size_t shown = use.records.size() <= 4 ? use.records.size() : 3;
        for (std::size_t i = 0; i < shown; ++i)
            put(out, i == 0 ? "" : i + 1 == shown && shown == use.records.size() ? " and " : ", ", use.records[i]);
        if (shown < use.records.size())
            put(out, " and ", number(static_cast<unsigned>(use.records.size() - shown)), " more");
        return out;
    }

    // F[KEY]: a ProtoField, or for a number a table of them by width.
    static void emit_field(const std::string& key, const Field& field, std::string& out) {
        const std::string abbr = quoted("rizorod." + key), name = quoted(key);
        switch (field.cls) {
        case Class::fixed: return;  // the fixed part defines it
        case Class::number:
            put(out, "F[", quoted(key), "] = {}\n");
            for (const auto& [width, use] : field.uses) {
                const char* type = width == 1 ? "uint8" : width == 2 ? "uint16" : width == 3 ? "uint24" : "uint32";
                put(out, "F[", quoted(key), "][", number(width), "] = ProtoField.", type, "(", abbr, ", ", name,
                    ", base.HEX, nil, nil, ", quoted(blurb(use)), ")\n");
            }
            return;
        case Class::text:
            put(out, "F[", quoted(key), "] = ProtoField.new(", name, ", ", abbr, ", ftypes.STRING, nil, nil, nil, ",
                quoted(blurb(field.uses.at(0))), ")\n");
            return;
        case Class::bytes:
            put(out, "F[", quoted(key), "] = ProtoField.bytes(", abbr, ", ", name, ", base.SPACE, ",
                quoted(blurb(field.uses.at(0))), ")\n");
            return;
        case Class::ipv6:
        case Class::ether:
            put(out, "F[", quoted(key), "] = ProtoField.", field.cls == Class::ipv6 ? "ipv6" : "ether", "(", abbr,
                ", ", name, ", ", quoted(blurb(field.uses.at(0))), ")\n");
            return;
        }
    }

    // R["NAME"] = {name = ..., size = ..., fields...}, after the records it refers to.
    void emit(const rizorod_layout_record* r, std::string& out) {
        if (!emitted_.insert(r).second) return;
        if (!names_.insert(r->name).second) throw std::logic_error(std::string("two records named ") + r->name);
        std::string body;
        bool custom = false;
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
            if ((f->kind == RIZOROD_LAYOUT_REC || f->kind == RIZOROD_LAYOUT_BLOCKS) && f->record->name != nullptr)
                emit(f->record, out);
            custom |= f->kind == RIZOROD_LAYOUT_CUSTOM;
            const std::string field = field_lua(r, *f);
            if (!field.empty()) put(body, field, ", ");
        }
        put(out, "R[", quoted(r->name), "] = {name = ", quoted(r->name), ", size = ", number(layout_size(r)));
        if (custom) put(out, ", custom = true");
        if (address_form(r) != AddressForm::none) {
            const AddressOrder order = address_order(r);
            put(out, ", address = {format = ", quoted(order.format));
            for (unsigned offset : order.offsets) put(out, ", ", number(offset));
            put(out, "}");
        }
        put(out, ", ", body, "}\n");
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
        case RIZOROD_LAYOUT_REC:
            put(out, "{k = \"r\", at = ", at, ", rec = R[", quoted(f.record->name), "]");
            if (address_form(f.record) != AddressForm::none) put(out, ", key = ", quoted(key(Class::ether, f.label)));
            put(out, "}");
            break;
        case RIZOROD_LAYOUT_ARR:
            put(out, "{k = \"a\", at = ", at, ", width = ", number(f.width), ", count = ", number(f.count),
                ", key = ", quoted(f.label), "}");
            break;
        case RIZOROD_LAYOUT_RUN:
            put(out, "{k = \"b\", count_at = ", at, ", ptr_at = ", number(f.pointer), ", key = ",
                quoted(key(Class::bytes, pointer_label(r, f.pointer))), "}");
            break;
        case RIZOROD_LAYOUT_IP:
            put(out, "{k = \"i\", at = ", at, ", key = ", quoted(key(Class::ipv6, f.label)), ", label = ",
                quoted(f.label), "}");
            break;
        case RIZOROD_LAYOUT_BLOCKS:
            put(out, "{k = \"w\", count_at = ", at, ", nptrs = ", number(f.count), ", ptrs_at = ", number(f.pointer),
                ", per = ", number(f.per_block), ", stride = ", number(f.stride), ", whole = ",
                f.whole ? "true" : "false", ", length = ", number(layout_size(f.record)), ", ");
            if (f.record->name == nullptr)
                put(out, "key = ", quoted(pointer_label(r, f.pointer)), "}");
            else if (address_form(f.record) != AddressForm::none)
                put(out, "rec = R[", quoted(f.record->name), "], key = ",
                    quoted(key(Class::ether, pointer_label(r, f.pointer))), "}");
            else
                put(out, "rec = R[", quoted(f.record->name), "]}");
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
    std::set<std::string> names_;
    std::map<std::pair<Class, std::string>, Field> labels_;  // by class and label
    std::map<std::string, Field> keys_;                     // by filter key
    std::map<std::pair<Class, std::string>, std::string> key_of_;
};

}  // namespace

std::string dissector_lua(unsigned linktype, std::string_view version) {
    return Generator().run(linktype, version);
}

}  // namespace rizorod::tool
