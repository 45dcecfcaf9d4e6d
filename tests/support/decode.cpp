#include "support/decode.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

RizOrodOzidoTestAccess::Formatter RizOrodOzidoTestAccess::formatter(const std::string& name) {
    static const std::map<std::string, Formatter> all = {
        {"debug_uint8_t", &RizOrodOzido::debug_uint8_t},
        {"debug_bool_t", &RizOrodOzido::debug_bool_t},
        {"debug_int8_t", &RizOrodOzido::debug_int8_t},
        {"debug_uint16_t", &RizOrodOzido::debug_uint16_t},
        {"debug_enum", &RizOrodOzido::debug_enum},
        {"debug_uint32_t", &RizOrodOzido::debug_uint32_t},
        {"debug_int32_t", &RizOrodOzido::debug_int32_t},
        {"debug_uint24_t", &RizOrodOzido::debug_uint24_t},
        {"debug_ptr", &RizOrodOzido::debug_ptr},
    };
    return all.at(name);
}

namespace riz::test {

std::string decode(RizOrodOzido& d, Interface iface, std::uint16_t code, const void* prim) {
    switch (iface) {
    case Interface::dm: return d.debugDMprim(code, prim);
    case Interface::l2cap: return d.debugL2CAPprim(code, prim);
    case Interface::rfcomm: return d.debugRFCOMMprim(code, prim);
    case Interface::sdp: return d.debugSDPprim(code, prim);
    }
    return {};
}

std::string body(const std::string& text) {
    static const std::regex header(R"(---- ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9]\.[0-9]{3} -{18}\n)");
    const std::string first = text.substr(0, 37);
    EXPECT_TRUE(std::regex_match(first, header)) << "header line: [" << first << "]";
    return text.size() >= 37 ? text.substr(37) : std::string();
}

std::string lines(std::initializer_list<std::string> ls) {
    std::string out;
    for (const auto& l : ls) out += l + "\n";
    return out;
}

const unsigned char* RandomSpace::bytes(const unsigned char*, std::uint32_t, std::uint32_t len) {
    auto block = std::make_unique<Guarded>(len);
    for (std::uint32_t i = 0; i < len; ++i) block->data()[i] = static_cast<std::uint8_t>(rng_());
    blocks_.push_back(std::move(block));
    return blocks_.back()->data();
}

const unsigned char* RandomSpace::string(const unsigned char*, std::uint32_t, std::uint32_t limit,
                                         std::uint32_t& len) {
    // A fragment of random length: full (no zero byte, exactly `limit` readable) or shorter and
    // ended by a zero byte.
    const std::uint32_t n = static_cast<std::uint32_t>(rng_() % (limit + 1));
    auto block = std::make_unique<Guarded>(n == limit ? limit : n + 1);
    for (std::uint32_t i = 0; i < n; ++i) block->data()[i] = static_cast<std::uint8_t>('a' + rng_() % 26);
    if (n < limit) block->data()[n] = 0;
    blocks_.push_back(std::move(block));
    len = n;
    return blocks_.back()->data();
}

}  // namespace riz::test
