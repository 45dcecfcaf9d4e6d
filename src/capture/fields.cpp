// SPDX-License-Identifier: Apache-2.0
// The structured decoding: a walk over a primitive's layout (rows/layout.h) that reads what its
// text decoder reads, in the same order, through the same pointer seam.
#include <RizOrodOzido/fields.h>

#include "core/seams.h"

namespace rizorod {
namespace {

// The label of the pointer field at `offset`, which addresses a byte run or a block walk.
const char* pointer_label(const rizorod_layout_record* record, unsigned offset) {
    const char* label = rizorod_pointer_label(record, offset);
    return label != nullptr ? label : "";
}

std::uint32_t scalar(const rizorod_layout_field& f, const unsigned char* at) {
    return f.width == 1 ? at[0] : f.width == 2 ? rizorod_load16(at) : rizorod_load32(at);
}

void walk_record(const rizorod_layout_record* record, const unsigned char* p, FieldSink& sink);

// A device address from its record's lap, uap and nap fields, wherever the row puts them.
std::string bd_addr_of(const rizorod_layout_record* record, const unsigned char* p) {
    static constexpr std::string_view kParts[] = {"lap", "uap", "nap"};
    std::uint32_t part[3] = {0, 0, 0};
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
        for (int i = 0; i < 3; ++i)
            if (f->label != nullptr && f->label == kParts[i]) part[i] = scalar(*f, p + f->offset);
    return bd_addr_text(part[0], static_cast<std::uint8_t>(part[1]), static_cast<std::uint16_t>(part[2]));
}

void walk_element(const rizorod_layout_record* element, const unsigned char* at, FieldSink& sink) {
    if (element->name == nullptr) {  // a word, printed with an empty label
        sink.value(nullptr, scalar(element->fields[0], at));
        return;
    }
    sink.begin_record(nullptr, element->name);
    walk_record(element, at, sink);
    sink.end_record();
}

// As the decoders' block walk, by the rules of rows/layout.h.
void walk_blocks(const rizorod_layout_record* record, const rizorod_layout_field& f, const unsigned char* p,
                 FieldSink& sink) {
    const unsigned walked = rizorod_walk_count(p[f.offset], f.count, f.per_block);
    const unsigned elem_len = rizorod_layout_size(f.record);
    const char* label = pointer_label(record, f.pointer);
    // Only the last block in use may hold elements past the count (a walk of whole blocks).
    const unsigned char* uncounted = nullptr;
    std::size_t uncounted_size = 0;
    sink.begin_list(label);
    for (unsigned b = 0; b < rizorod_walk_blocks(walked, f.per_block); ++b) {
        const unsigned used = rizorod_block_used(walked, b, f.per_block, f.whole);
        const unsigned counted = rizorod_block_used(walked, b, f.per_block, 0);
        const unsigned char* base =
            detail::follow(p + f.pointer + 4 * b, rizorod_block_bytes(used, f.stride, elem_len));
        if (base == nullptr) continue;
        for (unsigned i = 0; i < counted; ++i) walk_element(f.record, base + f.stride * i, sink);
        if (used > counted) {
            uncounted = base + f.stride * counted;
            uncounted_size = rizorod_block_bytes(used - counted, f.stride, elem_len);
        }
    }
    sink.end_list();
    if (uncounted != nullptr) sink.uncounted(label, uncounted, uncounted_size);
}

void walk_name(const unsigned char* parts, FieldSink& sink) {
    std::uint8_t name[RIZOROD_NAME_PARTS * RIZOROD_NAME_PART_BYTES];
    std::size_t size = 0;
    for (unsigned i = 0; i < RIZOROD_NAME_PARTS; ++i) {
        std::uint32_t len = 0;
        const unsigned char* part = detail::follow_string(parts + 4 * i, rizorod_name_part_limit(i), len);
        if (part == nullptr || len == 0) break;
        for (std::uint32_t k = 0; k < len; ++k) name[size++] = part[k];
        if (!rizorod_name_goes_on(len)) break;
    }
    sink.bytes("name_part", name, size, true);
}

void walk_laps(const unsigned char* p, const rizorod_layout_custom& list, FieldSink& sink) {
    const unsigned laps = rizorod_laps_count(p[list.count], list.nptrs);
    sink.begin_list("iac_lap");
    for (unsigned b = 0; b < rizorod_walk_blocks(laps, RIZOROD_LAPS_PER_BLOCK); ++b) {
        const unsigned in_block = rizorod_laps_in_block(laps, b);
        const unsigned char* block = detail::follow(p + list.blocks + 4 * b, 4 * in_block);
        if (block == nullptr) continue;
        for (unsigned k = 0; k < in_block; ++k) sink.value(nullptr, rizorod_load32(block + 4 * k));
    }
    sink.end_list();
}

// As debug_customDebug: the record's own first field chooses.
void walk_custom(const unsigned char* p, FieldSink& sink) {
    const rizorod_layout_custom* custom = custom_rendering(rizorod_load16(p));
    if (custom == nullptr) {
        sink.unknown_custom();
        return;
    }
    switch (static_cast<rizorod_layout_custom_kind>(custom->kind)) {
    case RIZOROD_CUSTOM_NAME: walk_name(p + custom->parts, sink); break;
    case RIZOROD_CUSTOM_LAPS: walk_laps(p, *custom, sink); break;
    }
}

void walk_record(const rizorod_layout_record* record, const unsigned char* p, FieldSink& sink) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f) {
        switch (rizorod_kind(f)) {
        case RIZOROD_LAYOUT_U8:
        case RIZOROD_LAYOUT_B8:
        case RIZOROD_LAYOUT_I8:
        case RIZOROD_LAYOUT_U16:
        case RIZOROD_LAYOUT_ENUM:
        case RIZOROD_LAYOUT_U32:
        case RIZOROD_LAYOUT_I32:
        case RIZOROD_LAYOUT_U24: sink.value(f->label, scalar(*f, p + f->offset)); break;
        case RIZOROD_LAYOUT_REC:
            sink.begin_record(f->label, f->record->name);
            walk_record(f->record, p + f->offset, sink);
            sink.end_record();
            switch (address_form(f->record)) {
            case AddressForm::bd_addr: sink.text(f->label, bd_addr_of(f->record, p + f->offset)); break;
            case AddressForm::ether: sink.text(f->label, ether_text(p + f->offset)); break;
            case AddressForm::none: break;
            }
            break;
        case RIZOROD_LAYOUT_ARR:
            sink.begin_list(f->label);
            for (unsigned i = 0; i < f->count; ++i) sink.value(nullptr, scalar(*f, p + f->offset + i * f->width));
            sink.end_list();
            break;
        case RIZOROD_LAYOUT_RUN: {
            const std::uint16_t count = rizorod_load16(p + f->offset);
            const unsigned char* data = count != 0 ? detail::follow(p + f->pointer, count) : nullptr;
            sink.bytes(pointer_label(record, f->pointer), data, data != nullptr ? count : 0, false);
            break;
        }
        case RIZOROD_LAYOUT_IP:
            sink.begin_list(f->label);
            for (unsigned i = 0; i < 8; ++i) sink.value(nullptr, rizorod_load16(p + f->offset + 2 * i));
            sink.end_list();
            sink.text(f->label, ip_text(p + f->offset));
            break;
        case RIZOROD_LAYOUT_BLOCKS: walk_blocks(record, *f, p, sink); break;
        case RIZOROD_LAYOUT_CUSTOM: walk_custom(p, sink); break;
        case RIZOROD_LAYOUT_CASE:
            if (p[f->offset] != f->count) f = rizorod_case_end(f);  // not selected: past its end
            break;
        case RIZOROD_LAYOUT_END:
        case RIZOROD_LAYOUT_PTR:
        case RIZOROD_LAYOUT_NEWLINE:
        case RIZOROD_LAYOUT_CASE_END: break;
        }
    }
}

}  // namespace

FieldSink::~FieldSink() = default;

void walk_fields(const rizorod_layout_record* record, const void* prim, FieldSink& sink) {
    walk_record(record, static_cast<const unsigned char*>(prim), sink);
}

FieldTree::FieldTree(std::string name) {
    root_.name = std::move(name);
    open_.push_back(&root_);
}

Field& FieldTree::add(Field::Kind kind, const char* label) {
    Field& f = open_.back()->fields.emplace_back();
    f.kind = kind;
    if (label != nullptr) f.label = label;
    return f;
}

void FieldTree::value(const char* label, std::uint32_t value) { add(Field::Kind::value, label).value = value; }

void FieldTree::begin_record(const char* label, const char* name) {
    Field& f = add(Field::Kind::record, label);
    f.name = name;
    open_.push_back(&f);
}
void FieldTree::end_record() { open_.pop_back(); }

void FieldTree::begin_list(const char* label) { open_.push_back(&add(Field::Kind::list, label)); }
void FieldTree::end_list() { open_.pop_back(); }

void FieldTree::bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) {
    Field& f = add(name ? Field::Kind::name : Field::Kind::bytes, label);
    f.bytes.assign(data, data + size);
}

void FieldTree::unknown_custom() { add(Field::Kind::unknown_custom, nullptr); }

void FieldTree::uncounted(const char* label, const std::uint8_t* data, std::size_t size) {
    add(Field::Kind::uncounted, label).bytes.assign(data, data + size);
}

void FieldTree::text(const char* label, std::string_view text) { add(Field::Kind::text, label).name = text; }

}  // namespace rizorod
