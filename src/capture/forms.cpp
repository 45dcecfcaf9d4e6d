// SPDX-License-Identifier: Apache-2.0
// Addresses in the forms users know (fields.h).
#include <RizOrodOzido/fields.h>

#include <cstdio>
#include <cstring>

namespace rizorod {
namespace {

// The records that are addresses, by name: the one list of them.
struct NamedForm {
    const char* record;
    AddressForm form;
};
constexpr NamedForm kForms[] = {{"BD_ADDR_T", AddressForm::bd_addr}, {"ETHER_ADDR", AddressForm::ether}};

std::string colon_bytes(const std::uint8_t* bytes, std::size_t n, const char* digits) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0) out += ':';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

}  // namespace

AddressForm address_form(const rizorod_layout_record* record) {
    if (record == nullptr || record->name == nullptr) return AddressForm::none;
    for (const NamedForm& f : kForms)
        if (std::strcmp(record->name, f.record) == 0) return f.form;
    return AddressForm::none;
}

std::string bd_addr_text(std::uint32_t lap, std::uint8_t uap, std::uint16_t nap) {
    const std::uint8_t bytes[6] = {static_cast<std::uint8_t>(nap >> 8), static_cast<std::uint8_t>(nap), uap,
                                   static_cast<std::uint8_t>(lap >> 16), static_cast<std::uint8_t>(lap >> 8),
                                   static_cast<std::uint8_t>(lap)};
    return colon_bytes(bytes, 6, "0123456789ABCDEF");
}

std::string ether_text(const std::uint8_t* bytes) { return colon_bytes(bytes, 6, "0123456789abcdef"); }

std::string ip_text(const std::uint8_t* bytes) {
    std::uint16_t words[8];
    for (int i = 0; i < 8; ++i) words[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    // IPv4 in IPv6 form (::ffff:a.b.c.d) and the IPv4-compatible form keep the dotted quad.
    const bool mapped = words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0 && words[4] == 0 &&
                        words[5] == 0xffff;
    char text[64];
    if (mapped) {
        std::snprintf(text, sizeof text, "::ffff:%u.%u.%u.%u", bytes[12], bytes[13], bytes[14], bytes[15]);
        return text;
    }
    // The longest run of two or more zero words becomes "::" (the first of equal runs).
    int best = -1, best_len = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && words[j] == 0) ++j;
        if (j - i > best_len) {
            best = i;
            best_len = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == best) {
            out += "::";
            i += best_len - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(words[i]));
        out += text;
    }
    return out;
}

}  // namespace rizorod
