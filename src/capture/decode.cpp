// SPDX-License-Identifier: Apache-2.0
// Offline decoding of one primitive: the record is checked against its code's size, then the
// decoder runs with the memory image installed as the address space of its pointer fields and
// the entry's own stamp pinned for the header line.
#include <cstdio>
#include <cstring>
#include <functional>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include "core/registry.h"
#include "capture/timestamp.h"
#include "core/seams.h"

namespace rizorod {
namespace {

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, static_cast<unsigned>(value));
    return text;
}

std::string count_text(std::size_t n) { return n == 0 ? "none" : std::to_string(n); }

// The pointer fields of a record, resolved in the image. Every refusal names the field and says
// how many bytes the decoder needs and how many the image holds at that address.
class ImageSpace final : public rizorod::detail::AddressSpace {
public:
    ImageSpace(Interface iface, const rizorod::detail::PrimInfo& info,
               std::span<const std::uint8_t> record, const MemoryImage& image)
        : iface_(iface), info_(info), record_(record), image_(image) {}

    const unsigned char* bytes(const unsigned char* field, std::uint32_t address,
                               std::uint32_t len) override {
        const auto have = image_.at(address);
        if (have.size() >= len && len != 0) return have.data();
        if (len == 0) return have.empty() ? &kNothing : have.data();
        fail(field, address,
             "needs " + std::to_string(len) + (len == 1 ? " byte" : " bytes") + "; the image has " +
                 count_text(have.size()) + " there");
    }

    const unsigned char* string(const unsigned char* field, std::uint32_t address,
                                std::uint32_t limit, std::uint32_t& len) override {
        const auto have = image_.at(address);
        const std::size_t n = have.size() < limit ? have.size() : limit;
        if (n != 0) {
            if (const void* zero = std::memchr(have.data(), 0, n)) {
                len = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - have.data());
                return have.data();
            }
        }
        if (have.size() >= limit) {
            len = limit;
            return have.empty() ? &kNothing : have.data();
        }
        fail(field, address,
             "needs a name fragment of " + std::to_string(limit) +
                 " bytes or one ended by a zero byte; the image has " + count_text(have.size()) +
                 " there" + (have.empty() ? "" : " and no zero byte"));
    }

private:
    static constexpr unsigned char kNothing = 0;

    [[noreturn]] void fail(const unsigned char* field, std::uint32_t address, const std::string& what) {
        std::string where = "pointer";
        const auto* f = reinterpret_cast<const std::uint8_t*>(field);
        const std::uint8_t* first = record_.data();
        if (first != nullptr && std::less_equal<const std::uint8_t*>()(first, f) &&
            std::less<const std::uint8_t*>()(f, first + record_.size())) {
            where += " at offset " + std::to_string(f - first);
        } else if (const auto at = image_.address_of(f)) {
            where += " at " + hex(*at, 8);
        }
        throw DecodeError(iface_, info_.code, info_.name, where + " = " + hex(address, 8) + " " + what);
    }

    Interface iface_;
    const rizorod::detail::PrimInfo& info_;
    std::span<const std::uint8_t> record_;
    const MemoryImage& image_;
};

// The access-code block pointers that a count of `count` codes reads (at most the list's).
unsigned lap_pointers(unsigned count, const rizorod_layout_custom* custom) {
    return rizorod_walk_blocks(rizorod_laps_count(count, custom->nptrs), RIZOROD_LAPS_PER_BLOCK);
}

// debug_customDebug reads by the record's own first field, which need not be the code that chose
// the decoder: the record must also hold what that choice reads. Returns the bytes needed.
std::size_t custom_extent(std::span<const std::uint8_t> record, const rizorod_layout_custom* custom) {
    if (custom->kind == RIZOROD_CUSTOM_NAME) return std::size_t{custom->parts} + 4 * RIZOROD_NAME_PARTS;
    if (record.size() <= custom->count) return custom->count + 1u;
    const unsigned pointers = lap_pointers(record[custom->count], custom);
    return pointers == 0 ? custom->count + 1u : custom->blocks + 4u * pointers;
}

// What custom_extent's bytes are for, as the refusal says it.
std::string custom_why(std::span<const std::uint8_t> record, const rizorod_layout_custom* custom) {
    const std::uint16_t first = rizorod_load16(record.data());
    if (custom->kind == RIZOROD_CUSTOM_NAME) {
        const unsigned from = custom->parts;
        return "the name-part pointers at offsets " + std::to_string(from) + " to " +
               std::to_string(from + 4 * RIZOROD_NAME_PARTS - 1) + " that its first field " +
               hex(first, 4) + " selects";
    }
    if (record.size() <= custom->count)
        return "the count at offset " + std::to_string(custom->count) + " that its first field " +
               hex(first, 4) + " selects";
    const unsigned count = record[custom->count];
    return "the " + std::to_string(lap_pointers(count, custom)) + " block pointers from offset " +
           std::to_string(custom->blocks) + " that its first field " + hex(first, 4) + " and count " +
           std::to_string(count) + " select";
}

// Whether the decoder of a primitive ends with debug_customDebug.
bool calls_custom_debug(const rizorod_layout_record* record) {
    for (const rizorod_layout_field* f = record->fields; f->kind != RIZOROD_LAYOUT_END; ++f)
        if (f->kind == RIZOROD_LAYOUT_CUSTOM) return true;
    return false;
}

std::string plural_bytes(std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

constexpr char kNoMatch[] = RIZOROD_NO_MATCH_TEXT;

}  // namespace

DecodeError::DecodeError(Interface iface, std::uint16_t code, const std::string& name,
                         const std::string& detail)
    : std::runtime_error(std::string(interface_name(iface)) + " " + hex(code, 4) + " " + name + ": " +
                         detail),
      interface_(iface),
      code_(code),
      detail_(detail) {}

const char* interface_name(Interface iface) { return detail::interface_row(iface).name; }

std::optional<Interface> interface_named(std::string_view name) {
    for (Interface iface : kInterfaces)
        if (name == interface_name(iface)) return iface;
    return std::nullopt;
}

std::string decode(RizOrodOzido& object, Interface iface, std::uint16_t code, const void* prim) {
    return (object.*detail::interface_row(iface).operation)(code, prim);
}

std::vector<Primitive> primitives(Interface iface) {
    const auto rows = detail::primitive_rows(iface);
    return {rows.begin(), rows.end()};
}

std::optional<Primitive> find_primitive(Interface iface, std::uint16_t code) {
    const auto* row = rizorod::detail::find_primitive(iface, code);
    if (row == nullptr) return std::nullopt;
    return *row;
}

// One offline decoding's checks and settings, for its lifetime: the record checked against what
// its code's decoder reads, the image installed as the address space of its pointer fields, the
// stamp pinned for the header line.
class Decoder::Session {
public:
    Session(Interface iface, std::uint16_t code, std::span<const std::uint8_t> record,
            const MemoryImage& image, const Timestamp* stamp)
        : info(rizorod::detail::find_primitive(iface, code)) {
        if (info != nullptr) {
            if (record.size() < info->size)
                throw DecodeError(iface, code, info->name,
                                  "record needs " + plural_bytes(info->size) + "; it has " +
                                      std::to_string(record.size()));
            const rizorod_layout_custom* custom =
                record.size() >= 2 ? custom_rendering(rizorod_load16(record.data())) : nullptr;
            if (custom != nullptr && calls_custom_debug(layout(iface, code))) {
                const std::size_t need = custom_extent(record, custom);
                if (record.size() < need)
                    throw DecodeError(iface, code, info->name,
                                      "record needs " + plural_bytes(need) + " for " +
                                          custom_why(record, custom) + "; it has " +
                                          std::to_string(record.size()));
            }
            space_.emplace(iface, *info, record, image);
            installed_.emplace(*space_);
        }
        // A code the interface does not define reads nothing: the dispatcher answers with the
        // no-match text at once.
        static const std::uint8_t kEmpty[1] = {0};
        prim = record.empty() ? kEmpty : record.data();
        if (stamp != nullptr) {
            detail::write_time_of_day(*stamp, text_);
            pinned_.emplace(text_, static_cast<std::uint32_t>(detail::kTimeOfDayLength));
        }
    }

    const rizorod::detail::PrimInfo* info;  // null for a code the interface does not define
    const void* prim;

private:
    std::optional<ImageSpace> space_;
    std::optional<rizorod::detail::ScopedAddressSpace> installed_;
    char text_[detail::kTimeOfDayLength];
    std::optional<rizorod::detail::ScopedStamp> pinned_;
};

std::string Decoder::decode(Interface iface, std::uint16_t code, std::span<const std::uint8_t> record,
                            const MemoryImage& image, const Timestamp* stamp) {
    const Session session(iface, code, record, image, stamp);
    return rizorod::decode(object_, iface, code, session.prim);
}

std::string Decoder::decode(const Entry& entry) {
    return decode(entry.iface, entry.code, entry.record, entry.image,
                  entry.stamp ? &*entry.stamp : nullptr);
}

void Decoder::decode(const Entry& entry, std::string& out) {
    const Session session(entry.iface, entry.code, entry.record, entry.image,
                          entry.stamp ? &*entry.stamp : nullptr);
    const std::size_t before = out.size();
    try {
        if (!detail::interface_row(entry.iface).dispatch(object_, entry.code, session.prim, out))
            out += kNoMatch;
    } catch (...) {
        out.resize(before);
        throw;
    }
}

void Decoder::walk(const Entry& entry, FieldSink& sink) {
    const Session session(entry.iface, entry.code, entry.record, entry.image,
                          entry.stamp ? &*entry.stamp : nullptr);
    if (session.info != nullptr)
        walk_fields(layout(entry.iface, entry.code), session.prim, sink);
}

}  // namespace rizorod
