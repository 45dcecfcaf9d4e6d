// The structured decoding: a walk over a primitive's layout (core/layout.h) that reads what its
// text decoder reads, in the same order, through the same pointer seam.
#include "capture/fields.h"

#include "core/registry.h"
#include "core/seams.h"
#include "core/writer.h"

namespace rizorod {
namespace {

using riz::detail::load16;
using riz::detail::load32;

// The label of the pointer field at `offset`, which addresses a byte run or a block walk.
const char* pointer_label(const riz_layout_record* record, unsigned offset) {
    for (const riz_layout_field* f = record->fields; f->kind != RIZ_LAYOUT_END; ++f)
        if (f->kind == RIZ_LAYOUT_PTR && f->offset == offset) return f->label;
    return "";
}

std::uint32_t scalar(const riz_layout_field& f, const unsigned char* at) {
    return f.width == 1 ? at[0] : f.width == 2 ? load16(at) : load32(at);
}

void walk_record(const riz_layout_record* record, const unsigned char* p, FieldSink& sink);

void walk_element(const riz_layout_record* element, const unsigned char* at, FieldSink& sink) {
    if (element->name == nullptr) {  // a word, printed with an empty label
        sink.value(nullptr, scalar(element->fields[0], at));
        return;
    }
    sink.begin_record(nullptr, element->name);
    walk_record(element, at, sink);
    sink.end_record();
}

// As riz::detail::walk_blocks: counts beyond the pointers' reach print what they reach, a null
// block prints nothing, `whole` prints every element of each block in use.
void walk_blocks(const riz_layout_record* record, const riz_layout_field& f, const unsigned char* p,
                 FieldSink& sink) {
    const unsigned capacity = f.count * f.per_block;
    const unsigned count = p[f.offset] < capacity ? p[f.offset] : capacity;
    const unsigned elem_len = riz::detail::layout_size(f.record);
    sink.begin_list(pointer_label(record, f.pointer));
    for (unsigned b = 0; b * f.per_block < count; ++b) {
        const unsigned left = count - b * f.per_block;
        const unsigned used = f.whole || left > f.per_block ? f.per_block : left;
        const unsigned char* base =
            riz::detail::follow(p + f.pointer + 4 * b, f.stride * (used - 1) + elem_len);
        if (base == nullptr) continue;
        for (unsigned i = 0; i < used; ++i) walk_element(f.record, base + f.stride * i, sink);
    }
    sink.end_list();
}

// As debug_customDebug: the record's own first field chooses.
void walk_custom(const unsigned char* p, FieldSink& sink) {
    const riz_layout_custom* custom = riz::detail::custom_rendering(load16(p));
    if (custom == nullptr) {
        sink.unknown_custom();
        return;
    }
    if (custom->kind == RIZ_CUSTOM_NAME) {
        std::uint8_t name[RIZ_NAME_PARTS * RIZ_NAME_PART_BYTES];
        std::size_t size = 0;
        for (unsigned i = 0; i < RIZ_NAME_PARTS; ++i) {
            std::uint32_t len = 0;
            const unsigned char* part = riz::detail::follow_string(
                p + custom->parts + 4 * i,
                i == RIZ_NAME_PARTS - 1 ? RIZ_NAME_LAST_PART_BYTES : RIZ_NAME_PART_BYTES, len);
            if (part == nullptr || len == 0) break;
            for (std::uint32_t k = 0; k < len; ++k) name[size++] = part[k];
            if (len < RIZ_NAME_PART_BYTES) break;
        }
        sink.bytes("name_part", name, size, true);
        return;
    }
    const unsigned most = custom->nptrs * RIZ_LAPS_PER_BLOCK;
    const unsigned n = p[custom->count] < most ? p[custom->count] : most;
    sink.begin_list("iac_lap");
    for (unsigned first = 0; first < n; first += RIZ_LAPS_PER_BLOCK) {
        const unsigned in_block = n - first < RIZ_LAPS_PER_BLOCK ? n - first : RIZ_LAPS_PER_BLOCK;
        const unsigned char* block =
            riz::detail::follow(p + custom->blocks + 4 * (first / RIZ_LAPS_PER_BLOCK), 4 * in_block);
        if (block == nullptr) continue;
        for (unsigned k = 0; k < in_block; ++k) sink.value(nullptr, load32(block + 4 * k));
    }
    sink.end_list();
}

void walk_record(const riz_layout_record* record, const unsigned char* p, FieldSink& sink) {
    for (const riz_layout_field* f = record->fields; f->kind != RIZ_LAYOUT_END; ++f) {
        switch (f->kind) {
        case RIZ_LAYOUT_REC:
            sink.begin_record(f->label, f->record->name);
            walk_record(f->record, p + f->offset, sink);
            sink.end_record();
            break;
        case RIZ_LAYOUT_ARR:
            sink.begin_list(f->label);
            for (unsigned i = 0; i < f->count; ++i) sink.value(nullptr, scalar(*f, p + f->offset + i * f->width));
            sink.end_list();
            break;
        case RIZ_LAYOUT_RUN: {
            const std::uint16_t count = load16(p + f->offset);
            const unsigned char* data = count != 0 ? riz::detail::follow(p + f->pointer, count) : nullptr;
            sink.bytes(pointer_label(record, f->pointer), data, data != nullptr ? count : 0, false);
            break;
        }
        case RIZ_LAYOUT_IP:
            sink.begin_list(f->label);
            for (unsigned i = 0; i < 8; ++i) sink.value(nullptr, load16(p + f->offset + 2 * i));
            sink.end_list();
            break;
        case RIZ_LAYOUT_BLOCKS: walk_blocks(record, *f, p, sink); break;
        case RIZ_LAYOUT_CUSTOM: walk_custom(p, sink); break;
        case RIZ_LAYOUT_CASE:
            if (p[f->offset] != f->count) {
                // Not selected: past the matching end.
                for (int depth = 1; depth > 0;) {
                    ++f;
                    depth += f->kind == RIZ_LAYOUT_CASE ? 1 : f->kind == RIZ_LAYOUT_CASE_END ? -1 : 0;
                }
            }
            break;
        case RIZ_LAYOUT_PTR:
        case RIZ_LAYOUT_NEWLINE:
        case RIZ_LAYOUT_CASE_END: break;
        default: sink.value(f->label, scalar(*f, p + f->offset)); break;
        }
    }
}

}  // namespace

FieldSink::~FieldSink() = default;

void walk_fields(const riz_layout_record* record, const void* prim, FieldSink& sink) {
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

}  // namespace rizorod
