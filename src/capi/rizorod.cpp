// SPDX-License-Identifier: Apache-2.0
// The C interface over the C++ one: every function turns its arguments into the C++ types, calls
// the offline API or the public operations, and turns results into malloc'd text and exceptions
// into a status and a message. Nothing here keeps state between calls except a reader.
#include <RizOrodOzido/rizorod.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/fields.h>
#include <RizOrodOzido/json.h>

#ifndef RIZOROD_VERSION_TEXT
#error "RIZOROD_VERSION_TEXT is defined by the build"
#endif

static_assert(RIZOROD_DM == static_cast<int>(rizorod::Interface::dm) &&
              RIZOROD_L2CAP == static_cast<int>(rizorod::Interface::l2cap) &&
              RIZOROD_RFCOMM == static_cast<int>(rizorod::Interface::rfcomm) &&
              RIZOROD_SDP == static_cast<int>(rizorod::Interface::sdp));

struct rizorod_reader {
    rizorod_reader(std::string name_, std::unique_ptr<std::istream> in_)
        : name(std::move(name_)), in(std::move(in_)), reader(*in) {}
    std::string name;
    std::unique_ptr<std::istream> in;
    rizorod::CaptureReader reader;
    rizorod::Entry entry;
    rizorod::Problem problem;
    rizorod::Decoder decoder;
    bool done = false;  // the end, or a read error, has been reported
    bool has_entry = false;  // `entry` holds the entry the last call read
    bool has_problem = false;  // `problem` holds the bad line the last call read
};

namespace {

using rizorod::Interface;

// Fills `error`, when given, with the status and the parts of the message, cut to fit; no
// allocation, so that running out of memory can be reported too.
rizorod_status fail(rizorod_error* error, rizorod_status status,
                    std::initializer_list<std::string_view> parts) {
    if (error != nullptr) {
        error->status = status;
        std::size_t n = 0;
        for (std::string_view part : parts) {
            const std::size_t take = std::min(part.size(), sizeof error->message - 1 - n);
            std::memcpy(error->message + n, part.data(), take);
            n += take;
        }
        error->message[n] = '\0';
    }
    return status;
}

// A number as text without allocation: decimal, or "0x" and `width` hexadecimal digits.
struct Number {
    template <class Integer>
    explicit Number(Integer v) {
        end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    }
    Number(std::uint32_t v, int width) {
        static constexpr char kHex[] = "0123456789abcdef";
        digits[0] = '0';
        digits[1] = 'x';
        end = digits + 2 + width;
        for (char* p = end; p > digits + 2; v >>= 4) *--p = kHex[v & 0xf];
    }
    operator std::string_view() const { return {digits, static_cast<std::size_t>(end - digits)}; }
    char digits[24];
    char* end;
};

// Where in a capture a message is about: "name:line: ".
struct Where {
    std::string_view name;
    std::size_t line = 0;
};

rizorod_status fail_at(rizorod_error* error, rizorod_status status, const Where& at,
                       std::string_view what) {
    if (at.name.empty()) return fail(error, status, {what});
    return fail(error, status, {at.name, ":", Number(at.line), ": ", what});
}

// Runs `body`, which returns a status, and turns every exception into a failure.
template <class Body>
rizorod_status guarded(rizorod_error* error, Body&& body, const Where& at = {}) {
    try {
        return body();
    } catch (const rizorod::DecodeError& e) {
        return fail_at(error, RIZOROD_E_DECODE, at, e.what());
    } catch (const std::bad_alloc&) {
        return fail_at(error, RIZOROD_E_MEMORY, at, "out of memory");
    } catch (const std::exception& e) {
        return fail_at(error, RIZOROD_E_INTERNAL, at, e.what());
    } catch (...) {
        return fail_at(error, RIZOROD_E_INTERNAL, at, "unknown failure");
    }
}

rizorod_status bad_interface(rizorod_error* error, rizorod_interface iface) {
    const Number n(static_cast<int>(iface));
    return fail(error, RIZOROD_E_ARGUMENT, {"not one of the four interfaces: ", n});
}

rizorod_status missing(rizorod_error* error, const char* what) {
    return fail(error, RIZOROD_E_ARGUMENT, {what, " is NULL"});
}

bool known(rizorod_interface iface) {
    return static_cast<unsigned>(iface) <= static_cast<unsigned>(RIZOROD_SDP);
}

Interface to_cpp(rizorod_interface iface) { return static_cast<Interface>(iface); }

// The text as a malloc'd C string in `*out`.
rizorod_status give(const std::string& text, char** out, rizorod_error* error) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return fail(error, RIZOROD_E_MEMORY, {"out of memory"});
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *out = copy;
    return RIZOROD_OK;
}

rizorod::Timestamp to_cpp(const rizorod_timestamp& t) {
    rizorod::Timestamp s;
    s.hour = t.hour;
    s.minute = t.minute;
    s.second = t.second;
    s.millis = t.millis;
    if (t.has_date) {
        s.year = t.year;
        s.month = t.month;
        s.day = t.day;
    }
    return s;
}

rizorod_timestamp to_c(const rizorod::Timestamp& s) {
    rizorod_timestamp t{};
    t.hour = s.hour;
    t.minute = s.minute;
    t.second = s.second;
    t.millis = s.millis;
    t.has_date = s.year.has_value();
    t.year = s.year.value_or(0);
    t.month = s.month;
    t.day = s.day;
    return t;
}

rizorod_status make_reader(std::string name, std::unique_ptr<std::istream> in,
                           rizorod_reader** reader) {
    *reader = new rizorod_reader(std::move(name), std::move(in));
    return RIZOROD_OK;
}

// Tells a walk's steps to a C callback; a callback that asks to stop ends the walk by Stop.
struct Stop {};
class CallbackSink final : public rizorod::FieldSink {
public:
    CallbackSink(rizorod_field_callback callback, void* context) : callback_(callback), context_(context) {}
    void value(const char* label, std::uint32_t v) override {
        rizorod_field f = step(RIZOROD_FIELD_VALUE, label);
        f.value = v;
        tell(f);
    }
    void begin_record(const char* label, const char* name) override {
        rizorod_field f = step(RIZOROD_FIELD_RECORD_BEGIN, label);
        f.name = name;
        tell(f);
        ++depth_;
    }
    void end_record() override {
        --depth_;
        tell(step(RIZOROD_FIELD_RECORD_END, nullptr));
    }
    void begin_list(const char* label) override {
        tell(step(RIZOROD_FIELD_LIST_BEGIN, label));
        ++depth_;
    }
    void end_list() override {
        --depth_;
        tell(step(RIZOROD_FIELD_LIST_END, nullptr));
    }
    void bytes(const char* label, const std::uint8_t* data, std::size_t size, bool name) override {
        tell(with_bytes(step(name ? RIZOROD_FIELD_NAME : RIZOROD_FIELD_BYTES, label), data, size));
    }
    void unknown_custom() override { tell(step(RIZOROD_FIELD_UNKNOWN_CUSTOM, "custom")); }
    void uncounted(const char* label, const std::uint8_t* data, std::size_t size) override {
        tell(with_bytes(step(RIZOROD_FIELD_UNCOUNTED, label), data, size));
    }
    void text(const char* label, std::string_view text) override {
        tell(with_bytes(step(RIZOROD_FIELD_TEXT, label), reinterpret_cast<const std::uint8_t*>(text.data()),
                        text.size()));
    }

private:
    rizorod_field step(rizorod_field_kind kind, const char* label) const {
        rizorod_field f{};
        f.kind = kind;
        f.depth = depth_;
        f.label = label;
        return f;
    }
    static rizorod_field with_bytes(rizorod_field f, const std::uint8_t* data, std::size_t size) {
        static const std::uint8_t kNone = 0;
        f.bytes = data != nullptr ? data : &kNone;
        f.length = size;
        return f;
    }
    void tell(const rizorod_field& f) {
        if (callback_(context_, &f) != 0) throw Stop{};
    }
    rizorod_field_callback callback_;
    void* context_;
    unsigned depth_ = 0;
};

// Walks an entry into the callback; RIZOROD_STOPPED when the callback stopped it.
rizorod_status walk_into(rizorod::Decoder& decoder, const rizorod::Entry& entry, rizorod_field_callback callback,
                         void* context) {
    CallbackSink sink(callback, context);
    try {
        decoder.walk(entry, sink);
    } catch (const Stop&) {
        return RIZOROD_STOPPED;
    }
    return RIZOROD_OK;
}

// The blocks as a memory image; false (with the error filled in) for a bad block.
bool image_of(const rizorod_block* blocks, size_t block_count, rizorod::MemoryImage& image, rizorod_error* error) {
    for (std::size_t i = 0; i < block_count; ++i) {
        const rizorod_block& b = blocks[i];
        if (b.bytes == nullptr && b.length != 0) {
            missing(error, "a block's bytes");
            return false;
        }
        // Checked before the image is asked to take the block: a length that would run past the
        // address space is refused without any allocation for it.
        if (b.length > 0x100000000ull - b.address) {
            fail(error, RIZOROD_E_ARGUMENT,
                 {"block ", Number(i), " at ", Number(b.address, 8), " (", Number(b.length),
                  b.length == 1 ? " byte)" : " bytes)", " runs past 0xffffffff"});
            return false;
        }
        if (!image.add(b.address, {b.bytes, b.length})) {
            fail(error, RIZOROD_E_ARGUMENT,
                 {"block ", Number(i), " at ", Number(b.address, 8), " (", Number(b.length),
                  b.length == 1 ? " byte)" : " bytes)", " overlaps an earlier block"});
            return false;
        }
    }
    return true;
}

// An offline record with its blocks as an entry: RIZOROD_OK, or the status of a bad block (with
// the error filled in when given).
rizorod_status entry_of(rizorod_interface iface, uint16_t code, std::span<const uint8_t> record,
                        const rizorod_block* blocks, size_t block_count, rizorod::Entry& entry, rizorod_error* error) {
    rizorod_error own{};
    if (!image_of(blocks, block_count, entry.image, error != nullptr ? error : &own))
        return error != nullptr ? error->status : own.status;
    entry.iface = to_cpp(iface);
    entry.code = code;
    entry.record.assign(record.begin(), record.end());
    return RIZOROD_OK;
}

}  // namespace

const char* rizorod_version(void) { return RIZOROD_VERSION_TEXT; }

const char* rizorod_status_string(rizorod_status status) {
    switch (status) {
    case RIZOROD_OK: return "RIZOROD_OK";
    case RIZOROD_END: return "RIZOROD_END";
    case RIZOROD_STOPPED: return "RIZOROD_STOPPED";
    case RIZOROD_E_ARGUMENT: return "RIZOROD_E_ARGUMENT";
    case RIZOROD_E_NOT_FOUND: return "RIZOROD_E_NOT_FOUND";
    case RIZOROD_E_DECODE: return "RIZOROD_E_DECODE";
    case RIZOROD_E_CAPTURE: return "RIZOROD_E_CAPTURE";
    case RIZOROD_E_IO: return "RIZOROD_E_IO";
    case RIZOROD_E_MEMORY: return "RIZOROD_E_MEMORY";
    case RIZOROD_E_INTERNAL: return "RIZOROD_E_INTERNAL";
    }
    return "RIZOROD_E_UNKNOWN";
}

void rizorod_free(void* text) { std::free(text); }

const char* rizorod_interface_name(rizorod_interface iface) {
    return known(iface) ? rizorod::interface_name(to_cpp(iface)) : nullptr;
}

rizorod_status rizorod_interface_named(const char* name, rizorod_interface* iface,
                                       rizorod_error* error) {
    if (name == nullptr) return missing(error, "name");
    if (iface == nullptr) return missing(error, "iface");
    const auto found = rizorod::interface_named(name);
    if (!found) return fail(error, RIZOROD_E_NOT_FOUND, {"no interface is called \"", name, "\""});
    *iface = static_cast<rizorod_interface>(*found);
    return RIZOROD_OK;
}

size_t rizorod_primitive_count(rizorod_interface iface) {
    if (!known(iface)) return 0;
    try {
        return rizorod::primitives(to_cpp(iface)).size();
    } catch (...) {  // out of memory
        return 0;
    }
}

rizorod_status rizorod_primitive_at(rizorod_interface iface, size_t index, rizorod_primitive* row,
                                    rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (row == nullptr) return missing(error, "row");
    return guarded(error, [&] {
        const auto rows = rizorod::primitives(to_cpp(iface));
        if (index >= rows.size())
            return fail(error, RIZOROD_E_ARGUMENT,
                        {"index ", Number(index), " is past the ", Number(rows.size()), " codes of ",
                         rizorod::interface_name(to_cpp(iface))});
        *row = {rows[index].code, rows[index].size, rows[index].name};
        return RIZOROD_OK;
    });
}

rizorod_status rizorod_find_primitive(rizorod_interface iface, uint16_t code,
                                      rizorod_primitive* row, rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (row == nullptr) return missing(error, "row");
    const auto found = rizorod::find_primitive(to_cpp(iface), code);
    if (!found)
        return fail(error, RIZOROD_E_NOT_FOUND,
                    {rizorod::interface_name(to_cpp(iface)), " defines no code ", Number(code, 4)});
    *row = {found->code, found->size, found->name};
    return RIZOROD_OK;
}

rizorod_status rizorod_decode(rizorod_interface iface, uint16_t code, const void* prim, char** text,
                              rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (prim == nullptr) return missing(error, "prim");
    if (text == nullptr) return missing(error, "text");
    return guarded(error, [&] {
        RizOrodOzido object;
        return give(rizorod::decode(object, to_cpp(iface), code, prim), text, error);
    });
}

rizorod_status rizorod_decode_record(rizorod_interface iface, uint16_t code, const uint8_t* record,
                                     size_t length, const rizorod_block* blocks,
                                     size_t block_count, const rizorod_timestamp* stamp,
                                     char** text, rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (record == nullptr && length != 0) return missing(error, "record");
    if (blocks == nullptr && block_count != 0) return missing(error, "blocks");
    if (text == nullptr) return missing(error, "text");
    return guarded(error, [&] {
        rizorod::MemoryImage image;
        if (!image_of(blocks, block_count, image, error)) return error != nullptr ? error->status : RIZOROD_E_ARGUMENT;
        const rizorod::Timestamp when = stamp != nullptr ? to_cpp(*stamp) : rizorod::Timestamp{};
        rizorod::Decoder decoder;
        return give(decoder.decode(to_cpp(iface), code, {record, length}, image,
                                   stamp != nullptr ? &when : nullptr),
                    text, error);
    });
}

rizorod_status rizorod_decode_record_json(rizorod_interface iface, uint16_t code, const uint8_t* record,
                                          size_t length, const rizorod_block* blocks, size_t block_count,
                                          const rizorod_timestamp* stamp, char** json, rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (record == nullptr && length != 0) return missing(error, "record");
    if (blocks == nullptr && block_count != 0) return missing(error, "blocks");
    if (json == nullptr) return missing(error, "json");
    return guarded(error, [&] {
        rizorod::Entry entry;
        if (const rizorod_status bad = entry_of(iface, code, {record, length}, blocks, block_count, entry, error))
            return bad;
        if (stamp != nullptr) entry.stamp = to_cpp(*stamp);
        rizorod::Decoder decoder;
        std::string out;
        rizorod::entry_json(out, decoder, entry);
        return give(out, json, error);
    });
}

rizorod_status rizorod_reader_open_file(const char* path, rizorod_reader** reader,
                                        rizorod_error* error) {
    if (path == nullptr) return missing(error, "path");
    if (reader == nullptr) return missing(error, "reader");
    return guarded(error, [&] {
        auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
        if (!*in) {
            const int err = errno;
            const char* why = err != 0 ? std::strerror(err) : "unknown error";
            return fail(error, RIZOROD_E_IO, {"cannot open ", path, ": ", why});
        }
        return make_reader(path, std::move(in), reader);
    });
}

rizorod_status rizorod_reader_open_text(const char* text, size_t length, const char* name,
                                        rizorod_reader** reader, rizorod_error* error) {
    if (text == nullptr && length != 0) return missing(error, "text");
    if (reader == nullptr) return missing(error, "reader");
    return guarded(error, [&] {
        std::string copy(text != nullptr ? text : "", length);
        auto in = std::make_unique<std::istringstream>(std::move(copy));
        return make_reader(name != nullptr ? name : "text", std::move(in), reader);
    });
}

void rizorod_reader_close(rizorod_reader* reader) { delete reader; }

rizorod_status rizorod_reader_next(rizorod_reader* reader, rizorod_entry* entry, char** text,
                                   rizorod_error* error) {
    if (reader == nullptr) return missing(error, "reader");
    if (entry == nullptr) return missing(error, "entry");
    if (reader->done) return RIZOROD_END;
    reader->has_entry = false;
    reader->has_problem = false;
    rizorod::CaptureReader::Item got{};
    const rizorod_status read = guarded(error, [&] {
        try {
            got = reader->reader.next(reader->entry, reader->problem);
        } catch (const std::bad_alloc&) {
            reader->done = true;  // a line too long to hold: the rest is given up
            throw;
        }
        return RIZOROD_OK;
    }, {reader->name, reader->reader.lines() + 1});
    if (read != RIZOROD_OK) return read;
    switch (got) {
    case rizorod::CaptureReader::Item::end:
        reader->done = true;
        if (!reader->reader.failed()) return RIZOROD_END;
        return fail_at(error, RIZOROD_E_IO, {reader->name, reader->reader.lines()}, "read error");
    case rizorod::CaptureReader::Item::problem:
        *entry = rizorod_entry{};
        entry->line = reader->problem.line;
        reader->has_problem = true;
        return fail_at(error, RIZOROD_E_CAPTURE, {reader->name, reader->problem.line},
                       reader->problem.message);
    case rizorod::CaptureReader::Item::entry: break;
    }
    const rizorod::Entry& e = reader->entry;
    reader->has_entry = true;
    rizorod_entry out{};
    out.line = e.line;
    out.iface = static_cast<rizorod_interface>(e.iface);
    out.code = e.code;
    out.has_stamp = e.stamp.has_value();
    if (e.stamp) out.stamp = to_c(*e.stamp);
    out.record = e.record.data();
    out.record_length = e.record.size();
    *entry = out;
    if (text == nullptr) return RIZOROD_OK;
    return guarded(error, [&] { return give(reader->decoder.decode(e), text, error); },
                   {reader->name, e.line});
}

rizorod_status rizorod_walk_record(rizorod_interface iface, uint16_t code, const uint8_t* record, size_t length,
                                   const rizorod_block* blocks, size_t block_count,
                                   rizorod_field_callback callback, void* context, rizorod_error* error) {
    if (!known(iface)) return bad_interface(error, iface);
    if (record == nullptr && length != 0) return missing(error, "record");
    if (blocks == nullptr && block_count != 0) return missing(error, "blocks");
    if (callback == nullptr) return missing(error, "callback");
    return guarded(error, [&] {
        rizorod::Entry entry;
        if (const rizorod_status bad = entry_of(iface, code, {record, length}, blocks, block_count, entry, error))
            return bad;
        rizorod::Decoder decoder;
        return walk_into(decoder, entry, callback, context);
    });
}

rizorod_status rizorod_reader_walk(rizorod_reader* reader, rizorod_field_callback callback, void* context,
                                   rizorod_error* error) {
    if (reader == nullptr) return missing(error, "reader");
    if (callback == nullptr) return missing(error, "callback");
    if (!reader->has_entry) return fail(error, RIZOROD_E_ARGUMENT, {"the reader has read no entry to walk"});
    const rizorod::Entry& e = reader->entry;
    return guarded(error, [&] { return walk_into(reader->decoder, e, callback, context); },
                   {reader->name, e.line});
}

rizorod_status rizorod_reader_json(rizorod_reader* reader, char** json, rizorod_error* error) {
    if (reader == nullptr) return missing(error, "reader");
    if (json == nullptr) return missing(error, "json");
    if (!reader->has_entry && !reader->has_problem)
        return fail(error, RIZOROD_E_ARGUMENT, {"the reader has read no entry to write"});
    return guarded(error, [&] {
        std::string out;
        if (reader->has_problem) {
            rizorod::problem_json(out, reader->problem, reader->name);
            return give(out, json, error);
        }
        try {
            rizorod::entry_json(out, reader->decoder, reader->entry, reader->name);
        } catch (const rizorod::DecodeError& e) {
            rizorod::entry_error_json(out, reader->entry, e.what(), reader->name);
        }
        return give(out, json, error);
    });
}
