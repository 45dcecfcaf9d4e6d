// SPDX-License-Identifier: Apache-2.0
// The capture writer's drop-in pair. The header is <RizOrodOzido/rizorod_capture.h> as it is; the
// source is the layout types and shared rules (rows/layout.h as it is), the record descriptions
// and look-ups written here from the library's layout table, then the fixed writer code
// (capture-writer/writer.inc). Each fixed part is carried by the tool as a raw string made at
// build time by cmake/embed.cmake.
#include "writer_source.h"

#include <cstdio>
#include <set>
#include <stdexcept>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>

namespace rizorod::tool {
namespace {

#include "capture_header.inc"
#include "layout_find.inc"
#include "layout_header.inc"
#include "writer_code.inc"

// A fixed part without its own licence line: the file it goes into has one at the top.
std::string embedded(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(at, end - at);
        if (line.find("SPDX-License-Identifier") == std::string_view::npos) out.append(line);
        at = end;
    }
    return out;
}

std::string opening(std::string_view file, std::string_view what, std::string_view version) {
    std::string out = "/* ";
    out.append(file).append(": ").append(what).append("\n * ");
    out.append(kWriterMark).append(" (rizorod ").append(version).append(
        ") from the decoders' rows: write it\n"
        " * again with that command rather than edit it, so that it stays in step with the decoders.\n"
        " *\n"
        " * Copyright The RizOrodOzido authors.\n"
        " * SPDX-License-Identifier: Apache-2.0\n"
        " */\n");
    return out;
}

const char* kind_name(const rizorod_layout_field& f) {
    switch (rizorod_kind(&f)) {
    case RIZOROD_LAYOUT_END: return "RIZOROD_LAYOUT_END";
    case RIZOROD_LAYOUT_U8: return "RIZOROD_LAYOUT_U8";
    case RIZOROD_LAYOUT_B8: return "RIZOROD_LAYOUT_B8";
    case RIZOROD_LAYOUT_I8: return "RIZOROD_LAYOUT_I8";
    case RIZOROD_LAYOUT_U16: return "RIZOROD_LAYOUT_U16";
    case RIZOROD_LAYOUT_ENUM: return "RIZOROD_LAYOUT_ENUM";
    case RIZOROD_LAYOUT_U32: return "RIZOROD_LAYOUT_U32";
    case RIZOROD_LAYOUT_I32: return "RIZOROD_LAYOUT_I32";
    case RIZOROD_LAYOUT_U24: return "RIZOROD_LAYOUT_U24";
    case RIZOROD_LAYOUT_REC: return "RIZOROD_LAYOUT_REC";
    case RIZOROD_LAYOUT_ARR: return "RIZOROD_LAYOUT_ARR";
    case RIZOROD_LAYOUT_PTR: return "RIZOROD_LAYOUT_PTR";
    case RIZOROD_LAYOUT_RUN: return "RIZOROD_LAYOUT_RUN";
    case RIZOROD_LAYOUT_NEWLINE: return "RIZOROD_LAYOUT_NEWLINE";
    case RIZOROD_LAYOUT_IP: return "RIZOROD_LAYOUT_IP";
    case RIZOROD_LAYOUT_BLOCKS: return "RIZOROD_LAYOUT_BLOCKS";
    case RIZOROD_LAYOUT_CUSTOM: return "RIZOROD_LAYOUT_CUSTOM";
    case RIZOROD_LAYOUT_CASE: return "RIZOROD_LAYOUT_CASE";
    case RIZOROD_LAYOUT_CASE_END: return "RIZOROD_LAYOUT_CASE_END";
    }
    throw std::logic_error("a field of unknown kind " + std::to_string(f.kind));
}

// The tables: one array of fields and one record per record that a primitive reaches, each
// after the records it refers to, then one look-up per interface and debug_customDebug's choices.
class Tables {
public:
    std::string run() {
        for (Interface iface : kInterfaces)
            for (const Primitive& p : primitives(iface)) emit(layout(iface, p.code));
        for (Interface iface : kInterfaces) {
            const std::string name(interface_name(iface));
            out_ += "\nstatic const struct rizorod_layout_record *rizorod_layout_find_" + name +
                    "(uint16_t code) {\n    switch (code) {\n";
            for (const Primitive& p : primitives(iface)) {
                char line[128];
                std::snprintf(line, sizeof line, "    case 0x%04x: return &%s;\n", static_cast<unsigned>(p.code),
                              record_id(layout(iface, p.code)).c_str());
                out_ += line;
            }
            out_ += "    default: return 0;\n    }\n}\n";
        }
        out_ +=
            "\n/* What debug_customDebug renders, chosen by the record's first field:\n"
            " *   {first, kind, parts, count, blocks, nptrs} */\n"
            "static const struct rizorod_layout_custom rizorod_layout_customs[] = {\n";
        for (const rizorod_layout_custom& c : custom_renderings()) {
            char line[128];
            std::snprintf(line, sizeof line, "    {0x%04x, %s, %u, %u, %u, %u},\n", static_cast<unsigned>(c.first),
                          c.kind == RIZOROD_CUSTOM_NAME ? "RIZOROD_CUSTOM_NAME" : "RIZOROD_CUSTOM_LAPS",
                          static_cast<unsigned>(c.parts), static_cast<unsigned>(c.count),
                          static_cast<unsigned>(c.blocks), static_cast<unsigned>(c.nptrs));
            out_ += line;
        }
        out_ += "};\n\n";
        return out_;
    }

private:
    // The element of a block walk of words has no name.
    static std::string stem(const rizorod_layout_record* r) { return r->name ? r->name : "word"; }
    static std::string record_id(const rizorod_layout_record* r) { return "rizorod_record_" + stem(r); }

    void emit(const rizorod_layout_record* r) {
        if (!emitted_.insert(r).second) return;
        if (!stems_.insert(stem(r)).second) throw std::logic_error("two records named " + stem(r));
        for (const rizorod_layout_field* f = r->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
            if (f->record != nullptr) emit(f->record);
        const std::string id = record_id(r), fields = "rizorod_fields_" + stem(r);
        out_.append("\n/* ").append(r->name ? r->name : "a word of a block walk, shown without a label");
        out_.append(" */\nstatic const struct rizorod_layout_field ").append(fields).append("[] = {\n");
        for (const rizorod_layout_field* f = r->fields;; ++f) {
            std::string kind = kind_name(*f), record = f->record ? record_id(f->record) : "0";
            if (f->record) record.insert(0, 1, '&');
            kind += ',';
            char row[256];
            std::snprintf(row, sizeof row, "    {%-24s %2u, %3u, %3u, %3u, %2u, %2u, %u, 0, %s},", kind.c_str(),
                          static_cast<unsigned>(f->width), static_cast<unsigned>(f->offset),
                          static_cast<unsigned>(f->count), static_cast<unsigned>(f->pointer),
                          static_cast<unsigned>(f->per_block), static_cast<unsigned>(f->stride),
                          static_cast<unsigned>(f->whole), record.c_str());
            out_.append(row);
            if (f->label && *f->label) out_.append(" /* ").append(f->label).append(" */");
            out_ += '\n';
            if (f->kind == RIZOROD_LAYOUT_END) break;
        }
        out_.append("};\nstatic const struct rizorod_layout_record ").append(id).append(" = {0, ").append(fields);
        out_.append(", ").append(std::to_string(r->count)).append("};\n");
    }

    std::string out_;
    std::set<const rizorod_layout_record*> emitted_;
    std::set<std::string> stems_;
};

}  // namespace

std::string writer_header(std::string_view version) {
    return opening("rizorod_capture.h", "the capture writer's interface, with rizorod_capture.c.", version) +
           embedded(kCaptureHeader);
}

std::string writer_source(std::string_view version) {
    return opening("rizorod_capture.c", "the capture writer, for the stack's own build.", version) +
           "/* Plain C99 for 32- and 64-bit targets, with no heap, no stdio and no state: it needs\n"
           " * <stddef.h>, <stdint.h> and <string.h>, nothing else (and in a hosted x86 build the\n"
           " * compiler's <emmintrin.h>, unless RIZOROD_CAPTURE_NO_SIMD is defined). Compile it with the\n"
           " * stack's own compiler and flags; `rizorod decode` of the same version reads what it writes.\n"
           " *\n"
           " * In order: the types of the record descriptions and the rules that every reader of a\n"
           " * record shares; the description of every primitive, in the decoders' printed order; the\n"
           " * look-ups by interface and code; the writer itself. */\n"
           "#include \"rizorod_capture.h\"\n\n#include <stddef.h>\n#include <stdint.h>\n#include <string.h>\n\n" +
           embedded(kLayoutHeader) +
           "\n/* ---- the records ---------------------------------------------------------------------------\n"
           " * Each field: {kind, width, offset, count, pointer, per_block, stride, whole, label, record},\n"
           " * read as the table above says. The labels and names are the comments:\n"
           " * the writer does not read them, so they take no room in the stack's image. */\n" +
           Tables().run() + embedded(kLayoutFind) + "\n" + embedded(kWriterCode);
}

}  // namespace rizorod::tool
