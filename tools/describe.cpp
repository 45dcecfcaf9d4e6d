#include "describe.h"

#include <cstdio>

#include <RizOrodOzido/fields.h>
#include "json.h"

namespace rizorod::tool {
namespace {

const char* scalar_kind(const rizorod_layout_field& f) {
    switch (f.kind) {
    case RIZOROD_LAYOUT_U8: return "u8";
    case RIZOROD_LAYOUT_B8: return "b8";
    case RIZOROD_LAYOUT_I8: return "i8";
    case RIZOROD_LAYOUT_U16: return "u16";
    case RIZOROD_LAYOUT_ENUM: return "enum";
    case RIZOROD_LAYOUT_U32: return "u32";
    case RIZOROD_LAYOUT_I32: return "i32";
    case RIZOROD_LAYOUT_U24: return "u24";
    default: return nullptr;
    }
}

const char* element_kind(unsigned width) { return width == 1 ? "u8" : width == 2 ? "u16" : "u32"; }

const char* pointer_label(const rizorod_layout_record* record, unsigned offset) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
        if (f->kind == RIZOROD_LAYOUT_PTR && f->offset == offset) return f->label;
    return "";
}

std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

// ---- text

void line(std::string& out, int depth, const std::string& text) {
    out.append(static_cast<std::size_t>(depth), '\t');
    out += text;
    out += '\n';
}

void custom_text(std::string& out, int depth, unsigned extent) {
    std::string choices;
    for (const rizorod_layout_custom& choice : custom_renderings()) {
        const rizorod_layout_custom* c = &choice;
        choices += (choices.empty() ? "" : ", ") + hex4(c->first) + " " +
                   (c->kind == RIZOROD_CUSTOM_NAME
                        ? "name_part at " + std::to_string(c->parts)
                        : "iac_lap count at " + std::to_string(c->count) + ", blocks at " +
                              std::to_string(c->blocks) + " x" + std::to_string(c->nptrs));
    }
    line(out, depth, "custom up to " + std::to_string(extent) + ", by the first field: " + choices);
}

void fields_text(std::string& out, const rizorod_layout_record* record, int depth) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        const std::string at = std::to_string(f->offset);
        switch (f->kind) {
        case RIZOROD_LAYOUT_REC:
            line(out, depth, at + "\t" + f->record->name + "\t" + f->label);
            fields_text(out, f->record, depth + 1);
            break;
        case RIZOROD_LAYOUT_ARR:
            line(out, depth, at + "\t" + element_kind(f->width) + "[" + std::to_string(f->count) + "]\t" + f->label);
            break;
        case RIZOROD_LAYOUT_PTR:
            line(out, depth, at + (f->count > 1 ? "\tptr[" + std::to_string(f->count) + "]\t" : std::string("\tptr\t")) +
                                 f->label + " (silent)");
            break;
        case RIZOROD_LAYOUT_RUN:
            line(out, depth, "run\t" + std::string(pointer_label(record, f->pointer)) + ": u16 count at " + at +
                                 ", bytes at the pointer at " + std::to_string(f->pointer));
            break;
        case RIZOROD_LAYOUT_NEWLINE: line(out, depth, "empty line"); break;
        case RIZOROD_LAYOUT_IP: line(out, depth, at + "\tip\t" + f->label); break;
        case RIZOROD_LAYOUT_BLOCKS:
            line(out, depth, "blocks\t" + std::string(pointer_label(record, f->pointer)) + ": u8 count at " + at + ", " +
                                 std::to_string(f->count) + " block pointers at " + std::to_string(f->pointer) +
                                 ", " + std::to_string(f->per_block) + " per block, " +
                                 std::to_string(f->stride) + " bytes apart" + (f->whole ? ", whole blocks" : ""));
            if (f->record->name != nullptr) {
                line(out, depth + 1, std::string("0\t") + f->record->name);
                fields_text(out, f->record, depth + 2);
            } else {
                line(out, depth + 1, "0\ti32");
            }
            break;
        case RIZOROD_LAYOUT_CUSTOM: custom_text(out, depth, f->offset); break;
        case RIZOROD_LAYOUT_CASE: {
            line(out, depth, "when the u8 at " + at + " is " + std::to_string(f->count) + ":");
            // The case's own fields, one tab deeper, up to its end.
            const rizorod_layout_field* end = f + 1;
            for (int open = 1; open > 0; ++end)
                open += end->kind == RIZOROD_LAYOUT_CASE ? 1 : end->kind == RIZOROD_LAYOUT_CASE_END ? -1 : 0;
            std::vector<rizorod_layout_field> inner(f + 1, end - 1);
            inner.push_back({RIZOROD_LAYOUT_END, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr});
            const rizorod_layout_record sub{nullptr, inner.data(), static_cast<std::uint16_t>(inner.size() - 1)};
            fields_text(out, &sub, depth + 1);
            f = end - 1;
            break;
        }
        default: line(out, depth, at + "\t" + scalar_kind(*f) + "\t" + f->label); break;
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

void fields_json(std::string& out, const rizorod_layout_record* record, const rizorod_layout_field* f,
                 const rizorod_layout_field* end);

void record_json(std::string& out, const rizorod_layout_record* record) {
    const rizorod_layout_field* end = record->fields + record->count;
    out += "\"size\":";
    json_number(out, layout_size(record));
    out += ",\"fields\":[";
    fields_json(out, record, record->fields, end);
    out += ']';
}

void fields_json(std::string& out, const rizorod_layout_record* record, const rizorod_layout_field* f,
                 const rizorod_layout_field* end) {
    bool first = true;
    for (; f != end; ++f) {
        if (f->kind == RIZOROD_LAYOUT_CASE_END) continue;
        if (!first) out += ',';
        first = false;
        out += "{\"kind\":";
        switch (f->kind) {
        case RIZOROD_LAYOUT_REC:
            out += "\"record\",\"label\":";
            json_string(out, f->label);
            member(out, "offset", f->offset);
            out += ",\"record\":";
            json_string(out, f->record->name);
            out += ',';
            record_json(out, f->record);
            break;
        case RIZOROD_LAYOUT_ARR:
            out += "\"elements\",\"label\":";
            json_string(out, f->label);
            member(out, "offset", f->offset);
            member(out, "width", f->width);
            member(out, "count", f->count);
            break;
        case RIZOROD_LAYOUT_PTR:
            out += "\"pointer\",\"label\":";
            json_string(out, f->label);
            member(out, "offset", f->offset);
            member(out, "count", f->count);
            break;
        case RIZOROD_LAYOUT_RUN:
            out += "\"bytes\",\"label\":";
            json_string(out, pointer_label(record, f->pointer));
            member(out, "count_offset", f->offset);
            member(out, "pointer", f->pointer);
            break;
        case RIZOROD_LAYOUT_NEWLINE: out += "\"empty_line\""; break;
        case RIZOROD_LAYOUT_IP:
            out += "\"ip\",\"label\":";
            json_string(out, f->label);
            member(out, "offset", f->offset);
            member(out, "width", f->width);
            break;
        case RIZOROD_LAYOUT_BLOCKS:
            out += "\"blocks\",\"label\":";
            json_string(out, pointer_label(record, f->pointer));
            member(out, "count_offset", f->offset);
            member(out, "pointer", f->pointer);
            member(out, "pointers", f->count);
            member(out, "per_block", f->per_block);
            member(out, "stride", f->stride);
            out += ",\"whole\":";
            out += f->whole ? "true" : "false";
            out += ",\"element\":{\"name\":";
            if (f->record->name != nullptr) json_string(out, f->record->name);
            else out += "null";
            out += ',';
            record_json(out, f->record);
            out += '}';
            break;
        case RIZOROD_LAYOUT_CUSTOM: {
            out += "\"custom\"";
            member(out, "extent", f->offset);
            out += ",\"choices\":[";
            bool first_choice = true;
            for (const rizorod_layout_custom& choice : custom_renderings()) {
                const rizorod_layout_custom* c = &choice;
                out += first_choice ? "{" : ",{";
                first_choice = false;
                out += "\"first\":";
                json_number(out, c->first);
                if (c->kind == RIZOROD_CUSTOM_NAME) {
                    out += ",\"kind\":\"name\",\"label\":\"name_part\"";
                    member(out, "parts", c->parts);
                } else {
                    out += ",\"kind\":\"access_codes\",\"label\":\"iac_lap\"";
                    member(out, "count_offset", c->count);
                    member(out, "pointer", c->blocks);
                    member(out, "pointers", c->nptrs);
                }
                out += '}';
            }
            out += ']';
            break;
        }
        case RIZOROD_LAYOUT_CASE: {
            const rizorod_layout_field* inner_end = f + 1;
            for (int open = 1; open > 0; ++inner_end)
                open += inner_end->kind == RIZOROD_LAYOUT_CASE ? 1 : inner_end->kind == RIZOROD_LAYOUT_CASE_END ? -1 : 0;
            out += "\"case\"";
            member(out, "selector", f->offset);
            member(out, "value", f->count);
            out += ",\"fields\":[";
            fields_json(out, record, f + 1, inner_end - 1);
            out += ']';
            f = inner_end - 2;  // the loop steps onto the case's end, which is passed over
            break;
        }
        default:
            json_string(out, scalar_kind(*f));
            out += ",\"label\":";
            json_string(out, f->label);
            member(out, "offset", f->offset);
            member(out, "width", f->width);
            break;
        }
        out += '}';
    }
}

}  // namespace

void describe_text(std::string& out, Interface iface, const Primitive& prim) {
    out += interface_name(iface);
    out += '\t' + hex4(prim.code) + '\t' + prim.name + '\t' + std::to_string(prim.size) + '\n';
    fields_text(out, layout(iface, prim.code), 1);
}

void describe_json(std::string& out, Interface iface, const Primitive& prim, bool fields) {
    out += "{\"interface\":";
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
