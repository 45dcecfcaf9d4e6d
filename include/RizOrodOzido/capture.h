// SPDX-License-Identifier: Apache-2.0
// Offline decoding: primitives captured from a running stack, decoded on any machine.
//
// A captured primitive is its record's bytes plus the memory that its pointer fields address,
// given as a MemoryImage (32-bit address -> bytes). Decoder::decode runs the library's own
// decoders over them, with every pointer resolved in the image and every read checked first:
// the record against its code's size and each followed pointer against the image. Anything
// missing is a DecodeError naming the interface, the code, the primitive and what was missing.
//
// CaptureReader reads the line-oriented capture format (docs/CAPTURE-FORMAT.md) one entry at a
// time, so memory stays constant however long the capture is; CaptureParser is the same reading
// for text that is already in memory.
#ifndef RIZORODOZIDO_CAPTURE_H
#define RIZORODOZIDO_CAPTURE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RizOrodOzido.h"

namespace rizorod {

// The four interfaces, each with its own code space and its own public operation of the class.
enum class Interface : std::uint8_t { dm, l2cap, rfcomm, sdp };

inline constexpr Interface kInterfaces[] = {Interface::dm, Interface::l2cap, Interface::rfcomm,
                                            Interface::sdp};

// One row of an interface's code table.
struct Primitive {
    std::uint16_t code;
    const char* name;
    // The furthest byte of the record that the decoder may read.
    std::uint16_t size;
};

// "dm", "l2cap", "rfcomm" or "sdp".
RIZOROD_API const char* interface_name(Interface iface);
// The interface that `name` spells exactly (lower case), if any.
RIZOROD_API std::optional<Interface> interface_named(std::string_view name);

// The public operation of the class that decodes the interface's primitives (debugDMprim for
// dm, and so on), called on `object`.
RIZOROD_API std::string decode(RizOrodOzido& object, Interface iface, std::uint16_t code,
                               const void* prim);

// Every code of the interface, in code order.
RIZOROD_API std::vector<Primitive> primitives(Interface iface);
// The row of `code`, if the interface defines it.
RIZOROD_API std::optional<Primitive> find_primitive(Interface iface, std::uint16_t code);

// The error of a decoding that cannot be done from the bytes given, for example
// "dm 0x2009 DM_ACL_DATA_SENT_IND_T: pointer at offset 8 = 0x00203000 needs 64 bytes; the image
// has 20 there".
class RIZOROD_API DecodeError : public std::runtime_error {
public:
    DecodeError(Interface iface, std::uint16_t code, const std::string& name,
                const std::string& detail);
    Interface iface() const noexcept { return interface_; }
    std::uint16_t code() const noexcept { return code_; }
    // What was missing, without the leading "interface code name: ".
    const std::string& detail() const noexcept { return detail_; }

private:
    Interface interface_;
    std::uint16_t code_;
    std::string detail_;
};

// Memory of the logging process, as blocks of bytes by 32-bit address. Blocks never overlap;
// a block that starts where another ends joins it, so a pointer may address bytes that were
// given in several consecutive pieces. Pieces may come in any order: adding n of them takes
// O(n log n) time whatever their order.
class RIZOROD_API MemoryImage {
public:
    // Adds `bytes` at `address`. Returns false, and changes nothing, when they would overlap
    // bytes already present or run past address 0xffffffff.
    bool add(std::uint32_t address, std::span<const std::uint8_t> bytes);
    // The bytes from `address` to the end of the block that holds it; empty when no block does.
    std::span<const std::uint8_t> at(std::uint32_t address) const;
    // The first block (first address and length) that shares a byte with [address, address+len).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> overlap(std::uint32_t address,
                                                                   std::uint64_t len) const;
    // The address at which `byte`, a byte of one of the blocks, was given.
    std::optional<std::uint32_t> address_of(const std::uint8_t* byte) const noexcept;
    bool empty() const noexcept { return blocks_.empty(); }
    // Number of bytes held, all blocks together.
    std::size_t byte_count() const noexcept;
    // Number of separate blocks after joining.
    std::size_t block_count() const noexcept { return blocks_.size(); }
    // Calls visit(address, bytes) for every block, in address order.
    template <class Visit>
    void for_each_block(Visit&& visit) const {
        for (const auto& [address, block] : blocks_)
            visit(address, std::span<const std::uint8_t>(block.data(), block.size()));
    }
    void clear() noexcept { blocks_.clear(); }

private:
    // A block's bytes are bytes[front, bytes.size()): room kept in front lets pieces given in
    // descending order join it without moving what it holds each time.
    struct Block {
        std::vector<std::uint8_t> bytes;
        std::size_t front = 0;
        std::size_t size() const { return bytes.size() - front; }
        const std::uint8_t* data() const { return bytes.data() + front; }
    };
    std::map<std::uint32_t, Block> blocks_;  // by first address
};

// The time at which the stack logged a primitive: a time of day with milliseconds, and the
// date when the capture gives one.
struct Timestamp {
    std::uint8_t hour = 0, minute = 0, second = 0;  // second may be 60 (a leap second)
    std::uint16_t millis = 0;
    std::optional<std::uint16_t> year;  // with month and day when the capture gives a date
    std::uint8_t month = 0, day = 0;
    // "HH:MM:SS.mmm", the stamp the header line shows.
    RIZOROD_API std::string time_of_day() const;
    // "YYYY-MM-DD", or empty without a date.
    RIZOROD_API std::string date_text() const;
    // Milliseconds since 1970-01-01 00:00:00 UTC, the time read as UTC (a capture's times carry
    // no zone); a leap second 60 counts as the first second of the next minute. Empty without a
    // date.
    RIZOROD_API std::optional<std::int64_t> unix_ms() const;
};

// The clock of a capture: which date an entry that gives only a time of day falls on. A date
// given on an entry carries forward to the entries after it; a time of day more than 12 hours
// earlier than the entry before it means the next day. Before any date is given, entries fall on
// the clock's starting date, if it has one (`rizorod decode --date`).
class RIZOROD_API CaptureClock {
public:
    CaptureClock() = default;
    // `start`: the date (year, month, day) of the entries before the first that gives one.
    explicit CaptureClock(const Timestamp& start);
    // The timestamp as an entry gives it, with the clock's date filled in when it gives none;
    // the clock moves on to it.
    Timestamp resolve(const Timestamp& given);
    bool operator==(const CaptureClock&) const = default;

private:
    std::uint32_t date_ = 0;  // year * 10000 + month * 100 + day; 0: no date yet
    std::int32_t last_ms_ = -1;  // the last time of day, in milliseconds; -1: none yet
};

// A timestamp as an entry line gives it, "HH:MM:SS.mmm" or "YYYY-MM-DD HH:MM:SS.mmm" (date and
// time joined by blanks or by 'T'), if `text` is exactly one.
RIZOROD_API std::optional<Timestamp> parse_timestamp(std::string_view text);
// A date "YYYY-MM-DD" of a day the month has (a Timestamp at its midnight), if `text` is exactly
// one.
RIZOROD_API std::optional<Timestamp> parse_date(std::string_view text);
// A type code as an entry line gives it, "0x" and one to four hexadecimal digits, if `text` is
// exactly one.
RIZOROD_API std::optional<std::uint16_t> parse_type_code(std::string_view text);

struct Entry;
class FieldSink;

// Decodes with one RizOrodOzido object of its own; use one Decoder per thread.
class RIZOROD_API Decoder {
public:
    // The decoding of the primitive `code` of `iface` held in `record`, with pointer fields
    // resolved in `image`. The header line shows `stamp` when given, the wall clock otherwise.
    // A code that the interface does not define gives the no-match text. Throws DecodeError when
    // the record is shorter than its code needs or a followed pointer addresses bytes that the
    // image does not hold.
    std::string decode(Interface iface, std::uint16_t code, std::span<const std::uint8_t> record,
                       const MemoryImage& image, const Timestamp* stamp = nullptr);
    // The same for one entry of a capture.
    std::string decode(const Entry& entry);
    // The same, appended to `out`; when it throws, `out` is as it was.
    void decode(const Entry& entry, std::string& out);
    // The fields of the entry's primitive as its decoder reads them, told to `sink` in printed
    // order (fields.h), after the same checks as decode(); nothing for a code the
    // interface does not define.
    void walk(const Entry& entry, FieldSink& sink);

private:
    class Session;
    RizOrodOzido object_;
};

// One entry of a capture: a primitive with its memory image.
struct Entry {
    std::size_t line = 0;  // line number of the entry line, from 1
    Interface iface = Interface::dm;
    std::uint16_t code = 0;  // the type code given, else the record's first 16-bit field
    // The timestamp given, with the capture clock's date filled in when the line gives only a
    // time of day (CaptureClock).
    std::optional<Timestamp> stamp;
    std::vector<std::uint8_t> record;
    MemoryImage image;
};

// A capture line that could not be taken, or an entry that could not be decoded.
struct Problem {
    std::size_t line = 0;
    // What was expected, what was found.
    std::string message;
};

// The capture format read from lines of text given one at a time: the line grammar, the grouping
// of memory lines with their entry, and the problems with the lines they skip. CaptureReader
// reads a stream with it; a program that holds capture text in memory may use it directly, on
// the whole text or on pieces of it that begin at entry lines (see starts_entry).
class RIZOROD_API CaptureParser {
public:
    // How the text begins: at the start of an input, or after a pause of a live input that
    // ended the entry before it early (memory lines that come first then get their own message).
    enum class Start { input, resumed };
    enum class Step {
        more,     // nothing complete yet: give the next line
        problem,  // `problem` is filled in: give the next line
        entry,    // the entry before the line is complete in `entry`: give the same line again
    };

    // Lines are numbered from `first_line`; a UTF-8 byte-order mark at the start of line 1 is
    // passed over. Entries' timestamps are resolved by the parser's clock (clock()), which reset
    // leaves as it is.
    explicit CaptureParser(std::size_t first_line = 1, Start start = Start::input) noexcept;
    void reset(std::size_t first_line, Start start = Start::input) noexcept;
    CaptureClock& clock() noexcept { return clock_; }

    // Takes one line, without its line end. The entry being read is kept in `entry` between
    // calls: give the same object every time.
    Step line(std::string_view text, Entry& entry, Problem& problem);
    // Counts `lines` lines that were passed over instead of given: blank and comment lines, or
    // memory lines after the first of a run that belongs to no entry. The next line given is
    // numbered after them.
    void skip_lines(std::size_t lines) noexcept { line_ += lines; }
    // At the end of the text: true when an entry was still being read; it is complete in `entry`.
    bool finish() noexcept;
    // The line at which the item being read, or the last one, began.
    std::size_t item_line() const noexcept { return item_; }

    // True when `line` is an entry line (neither blank, a comment nor a memory line): the only
    // lines at which a capture may be cut into pieces that read the same one by one.
    static bool starts_entry(std::string_view line) noexcept;
    // Moves `clock` on as reading `line` would move the parser's, without reading the rest of
    // the line: so that a piece of a capture can be read with the clock it begins with.
    // `first` says whether the line is the text's first (where a byte-order mark is passed over).
    static void advance(CaptureClock& clock, std::string_view line, bool first) noexcept;

private:
    CaptureClock clock_;
    std::size_t line_ = 0;  // the last line taken
    std::size_t item_ = 0;
    Start start_ = Start::input;
    bool have_entry_ = false;
    // After a problem, the memory lines that follow belong to it and are passed over quietly.
    bool skipping_ = false;
    std::vector<std::uint8_t> scratch_;
};

// Reads a capture from a stream, one entry at a time.
class RIZOROD_API CaptureReader {
public:
    explicit CaptureReader(std::istream& in);
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    enum class Item { end, entry, problem };
    // Reads up to the next entry (with its memory lines) or problem and fills in `entry` or
    // `problem` accordingly. A bad entry gives one problem, for its first bad line; the rest of
    // its memory lines are skipped. Memory lines before the first entry give one problem.
    Item next(Entry& entry, Problem& problem);
    // True when reading stopped at a read error of the stream rather than at its end.
    bool failed() const noexcept;
    // Number of lines read so far.
    std::size_t lines() const noexcept;
    // The clock that resolves the entries' timestamps (set its starting date before reading).
    CaptureClock& clock() noexcept;

private:
    struct State;
    State* state_;
};

}  // namespace rizorod

#endif
