// SPDX-License-Identifier: Apache-2.0
// The rows as data, for programs: the description of every primitive that the decoders know
// (rows/layout.h), made from the same rows as the decoders themselves.
#ifndef RIZORODOZIDO_FIELDS_H
#define RIZORODOZIDO_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture.h"
#include "rows/layout.h"

namespace rizorod {

// The description of the primitive that `code` selects on `iface`; null when the interface does
// not define the code. Its name is the primitive's name; codes that share a decoder share it.
RIZOROD_API const rizorod_layout_record* layout(Interface iface, std::uint16_t code);
// What debug_customDebug renders for a record whose first 16-bit field holds `first`; null when
// it renders "Unknown customDebug Primitive type".
RIZOROD_API const rizorod_layout_custom* custom_rendering(std::uint16_t first);
// Every choice of debug_customDebug, in the order of rows/custom.def.
RIZOROD_API std::span<const rizorod_layout_custom> custom_renderings();
// The furthest byte of a record that its decoder may read (for a primitive: its record size).
RIZOROD_API unsigned layout_size(const rizorod_layout_record* record);

// Values in the forms users know besides their numbers: a device address of a BD_ADDR_T record
// as Bluetooth tools show it ("00:12:7C:6A:1F:20": nap, uap, then the low 24 bits of lap), an
// Ethernet address of an ETHER_ADDR record as its six bytes in memory order
// ("00:12:7c:6a:1f:20"), an IP field's 16 bytes as an IPv6 address in its canonical text
// (RFC 5952: "::ffff:192.168.0.1" for an IPv4 address in IPv6 form).
enum class AddressForm : std::uint8_t { none, bd_addr, ether };
// The form of a nested record's value; none for a record that is not an address.
RIZOROD_API AddressForm address_form(const rizorod_layout_record* record);
RIZOROD_API std::string bd_addr_text(std::uint32_t lap, std::uint8_t uap, std::uint16_t nap);
RIZOROD_API std::string ether_text(const std::uint8_t* bytes);  // 6 bytes
RIZOROD_API std::string ip_text(const std::uint8_t* bytes);     // 16 bytes

// The fields of a primitive as its decoder reads them, told in printed order. What a sink is
// told matches the text decoding line for line: every field line, name line, element, byte run
// and name; silent pointers and empty lines are not told.
class RIZOROD_API FieldSink {
public:
    virtual ~FieldSink();
    // A field line, or an element of an element run, a block walk of words, an access-code
    // list or an IP address (label null for elements): the value as printed.
    virtual void value(const char* label, std::uint32_t value) = 0;
    // A nested record: its field's label (null for an element of a block walk) and its name line.
    virtual void begin_record(const char* label, const char* name) = 0;
    virtual void end_record() = 0;
    // An element run, a block walk, an access-code list or an IP address (its eight words).
    virtual void begin_list(const char* label) = 0;
    virtual void end_list() = 0;
    // A byte run (labelled with its pointer field's name), or a device name (`name` true).
    virtual void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) = 0;
    // What a record whose first field debug_customDebug does not know gets in place of a name or
    // an access-code list ("Unknown customDebug Primitive type").
    virtual void unknown_custom() = 0;
    // The elements of a walk of whole blocks that its count does not reach, which the decoder
    // shows all the same: their bytes, from the first of them to the end of the last, told after
    // the walk's list (which holds the counted elements) under the list's label.
    virtual void uncounted(const char* label, const std::uint8_t* data, std::size_t size) = 0;
    // The form users know of the record or IP address just told under `label`, when it is an
    // address: "00:12:7C:6A:1F:20", "00:12:7c:6a:1f:20", "::ffff:192.168.0.1".
    virtual void text(const char* label, std::string_view text) = 0;
};

// A sink that keeps nothing: a walk into it makes the checks of a decoding without its text.
class RIZOROD_API CheckingSink : public FieldSink {
public:
    void value(const char*, std::uint32_t) override {}
    void begin_record(const char*, const char*) override {}
    void end_record() override {}
    void begin_list(const char*) override {}
    void end_list() override {}
    void bytes(const char*, const std::uint8_t*, std::size_t, bool) override {}
    void unknown_custom() override {}
    void uncounted(const char*, const std::uint8_t*, std::size_t) override {}
    void text(const char*, std::string_view) override {}
};

// Tells `sink` the fields of the primitive `record` describes at `prim`, following its pointer
// fields as the decoders do (in this process, or through the address space installed on the
// thread; rizorod::Decoder::walk does that for a captured entry).
RIZOROD_API void walk_fields(const rizorod_layout_record* record, const void* prim, FieldSink& sink);

// A decoded primitive as a tree.
struct Field {
    enum class Kind : std::uint8_t { value, record, list, bytes, name, unknown_custom, uncounted, text };
    Kind kind = Kind::record;
    std::string label;  // the field's name; empty for elements and for the primitive itself
    std::string name;   // a record's name line; an address's text
    std::uint32_t value = 0;
    std::vector<std::uint8_t> bytes;  // a byte run's or a name's bytes
    std::vector<Field> fields;        // a record's fields, a list's elements
};

// Builds the tree: walk into it, then take root() (a record named after the primitive when it
// was started with that name).
class RIZOROD_API FieldTree final : public FieldSink {
public:
    explicit FieldTree(std::string name = {});
    Field& root() { return root_; }
    void value(const char* label, std::uint32_t value) override;
    void begin_record(const char* label, const char* name) override;
    void end_record() override;
    void begin_list(const char* label) override;
    void end_list() override;
    void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) override;
    void unknown_custom() override;
    void uncounted(const char* label, const std::uint8_t* data, std::size_t size) override;
    void text(const char* label, std::string_view text) override;

private:
    Field& add(Field::Kind kind, const char* label);
    Field root_;
    std::vector<Field*> open_;
};

}  // namespace rizorod

#endif
