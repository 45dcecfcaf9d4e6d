// SPDX-License-Identifier: Apache-2.0
// Decodes one logged record through the library's C++ API and through its C interface, prints
// the decoding and exits with status 1 unless both gave the same text.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <RizOrodOzido/rizorod.h>
#include <RizOrodOzido/capture.h>

int main() {
    const std::vector<std::uint8_t> record = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                              0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    rizorod::Timestamp stamp;
    stamp.hour = 14, stamp.minute = 3, stamp.second = 27, stamp.millis = 45;
    const rizorod_timestamp c_stamp = {14, 3, 27, 45, 0, 0, 0, 0};

    const std::string text = rizorod::Decoder().decode(rizorod::Interface::dm, 0x2004, record, {}, &stamp);
    char* c_text = nullptr;
    rizorod_error error;
    if (rizorod_decode_record(RIZOROD_DM, 0x2004, record.data(), record.size(), nullptr, 0, &c_stamp,
                              &c_text, &error) != RIZOROD_OK) {
        std::fprintf(stderr, "%s\n", error.message);
        return 1;
    }
    const bool same = text == c_text;
    rizorod_free(c_text);
    std::fputs(text.c_str(), stdout);
    return same ? 0 : 1;
}
