// SPDX-License-Identifier: Apache-2.0
// The decoding of an entry as JSON: the object that `rizorod decode --format json` writes for it
// (docs/JSON.md), with the field tree written straight from a walk of the primitive's layout; and
// the pieces the tool's other JSON outputs are made of.
#ifndef RIZORODOZIDO_JSON_H
#define RIZORODOZIDO_JSON_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/export.h>
#include <RizOrodOzido/fields.h>

namespace rizorod {

// The version of the objects, in every object's "schema" member (docs/JSON.md).
inline constexpr int kJsonSchema = 2;

// The object of `entry` (one line, without its line end): "schema"; "file" and "line" when
// `file` is not empty (a file name as messages show it, "<stdin>"); the stamp's members
// (json_stamp); "interface", "code", "name" (null for a code the interface does not define) and
// "fields" (null for such a code). Throws DecodeError as decode() does, `out` then as it was.
RIZOROD_API void entry_json(std::string& out, Decoder& decoder, const Entry& entry,
                            std::string_view file = {});
// The object of an entry that could not be decoded: its place, stamp, interface, code and name
// as above, then "error": `message`.
RIZOROD_API void entry_error_json(std::string& out, const Entry& entry, std::string_view message,
                                  std::string_view file = {});
// The object of a line that could not be read: "schema", "file", "line", "error".
RIZOROD_API void problem_json(std::string& out, const Problem& problem, std::string_view file);

// Starts a top-level object with its schema member: `{"schema":2`.
RIZOROD_API void json_object(std::string& out);
// Appends `text` as a JSON string, quotes included: valid UTF-8 whatever the bytes (a byte that
// is not part of a UTF-8 sequence is written as the character of the same number).
RIZOROD_API void json_string(std::string& out, std::string_view text);
// Appends `size` bytes as a JSON string of lower-case hexadecimal digit pairs.
RIZOROD_API void json_hex(std::string& out, const std::uint8_t* data, std::size_t size);
// Appends a number.
RIZOROD_API void json_number(std::string& out, std::uint64_t value);
// Appends the members of a stamp: ,"date":"YYYY-MM-DD" when it has a date, ,"time":"HH:MM:SS.mmm",
// and with the date ,"unix_ms":N, the instant (left out for a date before 1970).
RIZOROD_API void json_stamp(std::string& out, const Timestamp& stamp);

// Writes the fields a walk tells it as the members of one JSON object (without its braces):
// a field line is "label":number, a nested record "label":{"record":"NAME",...}, an element
// run, a block walk, an access-code list or an IP address "label":[...], a byte run or a name
// "label":"hex"; the forms users know follow as "label.text" (addresses, names), and the
// elements of a whole block past its count as "label.uncounted":"hex" (docs/JSON.md).
class RIZOROD_API JsonFields final : public FieldSink {
public:
    explicit JsonFields(std::string& out) : out_(out) {}
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
    void key(const char* label);
    void key(const char* label, std::string_view suffix);
    std::string& out_;
    std::vector<bool> first_{true};  // per open object or list: nothing written in it yet
};

}  // namespace rizorod

#endif
