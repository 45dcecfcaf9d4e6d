// SPDX-License-Identifier: Apache-2.0
#include "describe.h"

#include <RizOrodOzido/fields.h>

#include <cstdio>

#include <RizOrodOzido/json.h>

namespace rizorod::tool {
namespace {

// The kind of a field line as `list` names it; null for a field of another kind.
const char* scalar_kind(const rizorod_layout_field& f) {
    switch (rizorod_kind(&f)) {
    case RIZOROD_LAYOUT_U8: return "u8";
    case RIZOROD_LAYOUT_B8: return "b8";
    case RIZOROD_LAYOUT_I8: return "i8";
    case RIZOROD_LAYOUT_U16: return "u16";
    case RIZOROD_LAYOUT_ENUM: return "enum";
    case RIZOROD_LAYOUT_U32: return "u32";
    case RIZOROD_LAYOUT_I32: return "i32";
    case RIZOROD_LAYOUT_U24: return "u24";
    case RIZOROD_LAYOUT_END:
    case RIZOROD_LAYOUT_REC:
    case RIZOROD_LAYOUT_ARR:
    case RIZOROD_LAYOUT_PTR:
    case RIZOROD_LAYOUT_RUN:
    case RIZOROD_LAYOUT_NEWLINE:
    case RIZOROD_LAYOUT_IP:
    case RIZOROD_LAYOUT_BLOCKS:
    case RIZOROD_LAYOUT_CUSTOM:
    case RIZOROD_LAYOUT_CASE:
    case RIZOROD_LAYOUT_CASE_END: break;
    }
    return nullptr;
}

const char* element_kind(unsigned width) { return width == 1 ? "u8" : width == 2 ? "u16" : "u32"; }

std::string pointer_label(const rizorod_layout_record* record, unsigned offset) {
    const char* label = rizorod_pointer_label(record, offset);
    return label != nullptr ? label : "";
}

std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

// The fields of `record` from `f` up to `end` (the record's end, or a case's end).
struct Fields {
    const rizorod_layout_record* record;
    const rizorod_layout_field* f;
    const rizorod_layout_field* end;
};

Fields all_of(const rizorod_layout_record* record) { return {record, record->fields, record->fields + record->count}; }

// ---- text

void line(std::string& out, int depth, const std::string& text) {
    out.append(static_cast<std::size_t>(depth), '\t');
    out += text;
    out += '\n';
}

void custom_text(std::string& out, int depth, unsigned extent) {
    std::string choices;
    for (const rizorod_layout_custom& c : custom_renderings()) {
        choices += (choices.empty() ? "" : ", ") + hex4(c.first) + " ";
        switch (static_cast<rizorod_layout_custom_kind>(c.kind)) {
        case RIZOROD_CUSTOM_NAME: choices += "name_part at " + std::to_string(c.parts); break;
        case RIZOROD_CUSTOM_LAPS:
            choices += "iac_lap count at " + std::to_string(c.count) + ", blocks at " + std::to_string(c.blocks) +
                       " x" + std::to_string(c.nptrs);
            break;
        }
    }
    line(out, depth, "custom up to " + std::to_string(extent) + ", by the first field: " + choices);
}

void fields_text(std::string& out, Fields fields, int depth);

void blocks_text(std::string& out, const rizorod_layout_record* record, const rizorod_layout_field& f, int depth) {
    line(out, depth, "blocks\t" + pointer_label(record, f.pointer) + ": u8 count at " + std::to_string(f.offset) +
                         ", " + std::to_string(f.count) + " block pointers at " + std::to_string(f.pointer) + ", " +
                         std::to_string(f.per_block) + " per block, " + std::to_string(f.stride) + " bytes apart" +
                         (f.whole ? ", whole blocks" : ""));
    if (f.record->name != nullptr) {
        line(out, depth + 1, std::string("0\t") + f.record->name);
        fields_text(out, all_of(f.record), depth + 2);
    } else {
        line(out, depth + 1, "0\ti32");
    }
}

void fields_text(std::string& out, Fields fields, int depth) {
    for (const rizorod_layout_field* f = fields.f; f != fields.end; ++f) {
        const std::string at = std::to_string(f->offset);
        switch (rizorod_kind(f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24: line(out, depth, at + "\t" + scalar_kind(*f) + "\t" + f->label); break;
        case RIZOROD_LAYOUT_REC:
            line(out, depth, at + "\t" + f->record->name + "\t" + f->label);
            fields_text(out, all_of(f->record), depth + 1);
            break;
        case RIZOROD_LAYOUT_ARR:
            line(out, depth, at + "\t" + element_kind(f->width) + "[" + std::to_string(f->count) + "]\t" + f->label);
            break;
        case RIZOROD_LAYOUT_PTR:
            line(out, depth, at + (f->count > 1 ? "\tptr[" + std::to_string(f->count) + "]\t" : std::string("\tptr\t")) +
                                 f->label + " (silent)");
            break;
        case RIZOROD_LAYOUT_RUN:
            line(out, depth, "run\t" + pointer_label(fields.record, f->pointer) + ": u16 count at " + at +
                                 ", bytes at the pointer at " + std::to_string(f->pointer));
            break;
        case RIZOROD_LAYOUT_NEWLINE: line(out, depth, "empty line"); break;
        case RIZOROD_LAYOUT_IP: line(out, depth, at + "\tip\t" + f->label); break;
        case RIZOROD_LAYOUT_BLOCKS: blocks_text(out, fields.record, *f, depth); break;
        case RIZOROD_LAYOUT_CUSTOM: custom_text(out, depth, f->offset); break;
        case RIZOROD_LAYOUT_CASE: {
            // The case's own fields, one tab deeper, up to its end.
            line(out, depth, "when the u8 at " + at + " is " + std::to_string(f->count) + ":");
            const rizorod_layout_field* case_end = rizorod_case_end(f);
            fields_text(out, {fields.record, f + 1, case_end}, depth + 1);
            f = case_end;
            break;
        }
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_CASE_END: break;
        }
    }
}

// ---- JSON

void member(std::string& out, const char* key, unsigned value) {
    out += ",\"";
    out += key;
    out += "\":";
    json_number(out, value);
}

void label_member(std::string& out, const std::string& label) {
    out += ",\"label\":";
    json_string(out, label);
}

void fields_json(std::string& out, Fields fields);

void record_json(std::string& out, const rizorod_layout_record* record) {
    out += "\"size\":";
    json_number(out, layout_size(record));
    out += ",\"fields\":[";
    fields_json(out, all_of(record));
    out += ']';
}

void blocks_json(std::string& out, const rizorod_layout_record* record, const rizorod_layout_field& f) {
    out += "\"blocks\"";
    label_member(out, pointer_label(record, f.pointer));
    member(out, "count_offset", f.offset);
    member(out, "pointer", f.pointer);
    member(out, "pointers", f.count);
    member(out, "per_block", f.per_block);
    member(out, "stride", f.stride);
    out += ",\"whole\":";
    out += f.whole ? "true" : "false";
    out += ",\"element\":{\"name\":";
    if (f.record->name != nullptr) json_string(out, f.record->name);
    else out += "null";
    out += ',';
    record_json(out, f.record);
    out += '}';
}

void custom_json(std::string& out, unsigned extent) {
    out += "\"custom\"";
    member(out, "extent", extent);
    out += ",\"choices\":[";
    bool first = true;
    for (const rizorod_layout_custom& c : custom_renderings()) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"first\":";
        json_number(out, c.first);
        switch (static_cast<rizorod_layout_custom_kind>(c.kind)) {
        case RIZOROD_CUSTOM_NAME:
            out += ",\"kind\":\"name\",\"label\":\"name_part\"";
            member(out, "parts", c.parts);
            break;
        case RIZOROD_CUSTOM_LAPS:
            out += ",\"kind\":\"access_codes\",\"label\":\"iac_lap\"";
            member(out, "count_offset", c.count);
            member(out, "pointer", c.blocks);
            member(out, "pointers", c.nptrs);
            break;
        }
        out += '}';
    }
    out += ']';
}

// One field as a JSON object's members after "kind": (the case's fields too); returns the field
// that ends it: a case's end, otherwise the field itself.
const rizorod_layout_field* field_json(std::string& out, const rizorod_layout_record* record,
                                       const rizorod_layout_field* f) {
    switch (rizorod_kind(f)) {
    case RIZOROD_LAYOUT_U8:
    case RIZOROD_LAYOUT_B8:
    case RIZOROD_LAYOUT_I8:
    case RIZOROD_LAYOUT_U16:
    case RIZOROD_LAYOUT_ENUM:
    case RIZOROD_LAYOUT_U32:
    case RIZOROD_LAYOUT_I32:
    case RIZOROD_LAYOUT_U24:
    case RIZOROD_LAYOUT_IP:
        json_string(out, f->kind == RIZOROD_LAYOUT_IP ? "ip" : scalar_kind(*f));
        label_member(out, f->label);
        member(out, "offset", f->offset);
        member(out, "width", f->width);
        break;
    case RIZOROD_LAYOUT_REC:
        out += "\"record\"";
        label_member(out, f->label);
        member(out, "offset", f->offset);
        out += ",\"record\":";
        json_string(out, f->record->name);
        out += ',';
        record_json(out, f->record);
        break;
    case RIZOROD_LAYOUT_ARR:
        out += "\"elements\"";
        label_member(out, f->label);
        member(out, "offset", f->offset);
        member(out, "width", f->width);
        member(out, "count", f->count);
        break;
    case RIZOROD_LAYOUT_PTR:
        out += "\"pointer\"";
        label_member(out, f->label);
        member(out, "offset", f->offset);
        member(out, "count", f->count);
        break;
    case RIZOROD_LAYOUT_RUN:
        out += "\"bytes\"";
        label_member(out, pointer_label(record, f->pointer));
        member(out, "count_offset", f->offset);
        member(out, "pointer", f->pointer);
        break;
    case RIZOROD_LAYOUT_NEWLINE: out += "\"empty_line\""; break;
    case RIZOROD_LAYOUT_BLOCKS: blocks_json(out, record, *f); break;
    case RIZOROD_LAYOUT_CUSTOM: custom_json(out, f->offset); break;
    case RIZOROD_LAYOUT_CASE: {
        const rizorod_layout_field* case_end = rizorod_case_end(f);
        out += "\"case\"";
        member(out, "selector", f->offset);
        member(out, "value", f->count);
        out += ",\"fields\":[";
        fields_json(out, {record, f + 1, case_end});
        out += ']';
        return case_end;
    }
    case RIZOROD_LAYOUT_END:
    case RIZOROD_LAYOUT_CASE_END: break;
    }
    return f;
}

void fields_json(std::string& out, Fields fields) {
    for (const rizorod_layout_field* f = fields.f; f != fields.end; ++f) {
        if (f != fields.f) out += ',';
        out += "{\"kind\":";
        f = field_json(out, fields.record, f);
        out += '}';
    }
}

}  // namespace

void describe_text(std::string& out, Interface iface, const Primitive& prim) {
    out += interface_name(iface);
    out += '\t' + hex4(prim.code) + '\t' + prim.name + '\t' + std::to_string(prim.size) + '\n';
    fields_text(out, all_of(layout(iface, prim.code)), 1);
}

void describe_json(std::string& out, Interface iface, const Primitive& prim, bool fields) {
    json_object(out);
    out += ",\"interface\":";
    json_string(out, interface_name(iface));
    out += ",\"code\":";
    json_number(out, prim.code);
    out += ",\"name\":";
    json_string(out, prim.name);
    if (fields) {
        out += ',';
        record_json(out, layout(iface, prim.code));
    } else {
        out += ",\"size\":";
        json_number(out, prim.size);
    }
    out += "}\n";
}

}  // namespace rizorod::tool
