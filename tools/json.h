// SPDX-License-Identifier: Apache-2.0
// JSON text for the tool's structured outputs: one object per decoded entry (JSON Lines), the
// field tree written straight from a walk of the primitive's layout.
#ifndef RIZORODOZIDO_TOOLS_JSON_H
#define RIZORODOZIDO_TOOLS_JSON_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <RizOrodOzido/fields.h>

namespace rizorod::tool {

// The version of the objects the tool writes, in every object's "schema" member (docs/JSON.md).
inline constexpr int kJsonSchema = 2;
// Starts a top-level object with its schema member: `{"schema":2`.
void json_object(std::string& out);

// Appends `text` as a JSON string, quotes included.
void json_string(std::string& out, std::string_view text);
// Appends `size` bytes as a JSON string of lower-case hexadecimal digit pairs.
void json_hex(std::string& out, const std::uint8_t* data, std::size_t size);
// Appends a number.
void json_number(std::string& out, std::uint64_t value);
// Appends the members of a stamp: ,"date":"YYYY-MM-DD" when it has a date, ,"time":"HH:MM:SS.mmm",
// and with the date ,"unix_ms":N, the instant (left out for a date before 1970).
void json_stamp(std::string& out, const Timestamp& stamp);

// Writes the fields a walk tells it as the members of one JSON object (without its braces):
// a field line is "label":number, a nested record "label":{"record":"NAME",...}, an element
// run, a block walk, an access-code list or an IP address "label":[...], a byte run or a name
// "label":"hex"; the forms users know follow as "label.text" (addresses, names), and the
// elements of a whole block past its count as "label.uncounted":"hex" (docs/JSON.md).
class JsonFields final : public FieldSink {
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

}  // namespace rizorod::tool

#endif
