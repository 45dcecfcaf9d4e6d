// SPDX-License-Identifier: Apache-2.0
// Capture entries as a pcapng file for Wireshark: one enhanced packet block per entry, on one
// interface of a user link type. The packet framing is documented in docs/WIRESHARK.md:
//
//   offset  size  all numbers little-endian
//   0       1     framing version (1)
//   1       1     interface: 0 dm, 1 l2cap, 2 rfcomm, 3 sdp
//   2       2     type code
//   4       1     timestamp given: 0 none, 1 time of day only, 2 date and time
//   5       3     zero
//   8       4     record length R
//   12      R     record bytes
//   12+R    4     number of memory blocks M, then M times: address (4), length L (4), L bytes
#ifndef RIZORODOZIDO_TOOLS_PCAPNG_H
#define RIZORODOZIDO_TOOLS_PCAPNG_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <RizOrodOzido/capture.h>

namespace rizorod::tool::pcapng {

constexpr std::uint8_t kFramingVersion = 1;
// LINKTYPE_USER0 to LINKTYPE_USER15.
constexpr unsigned kFirstUserLinkType = 147;
constexpr unsigned kLastUserLinkType = 162;
// The largest packet that Wireshark reads on a user link type.
constexpr std::size_t kMaxPacket = 262144;

// The section header and interface description blocks that begin the file; `application`
// names the writer.
std::string header(unsigned linktype, std::string_view application);

// Whether `head`, the first bytes of a file (12 or more), begins a pcapng file: a section header
// block, in either byte order.
bool begins_file(std::string_view head);

// Milliseconds since 1970-01-01 00:00:00 UTC of an entry's timestamp, read as UTC: a time of
// day without a date falls on 1970-01-01, and no timestamp at all is 0. Empty for a date before
// 1970.
std::optional<std::uint64_t> millis(const std::optional<Timestamp>& stamp);

// Appends the enhanced packet block of `entry` to `out`. Throws std::runtime_error, with a
// message that begins like a DecodeError's, when its timestamp or size cannot be written; `out`
// is then unchanged.
void append_packet(std::string& out, const Entry& entry);

}  // namespace rizorod::tool::pcapng

#endif
