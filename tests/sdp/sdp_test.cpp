// SDP interface: the worked text, every primitive's layout, one- and two-run primitives with
// guarded data of exactly the counted size, gaps that are never read, and the whole code space.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

#include "core/registry.h"
#include "support/decode.h"

namespace {

using riz::detail::Interface;
using riz::test::body;
using riz::test::Guarded;
using riz::test::patterned;
using riz::test::hex;
using riz::test::compact_text;
using riz::test::lines;
using riz::test::run_line;



std::string decode(std::uint16_t code, const void* prim) {
    RizOrodOzido d;
    return d.debugSDPprim(code, prim);
}

// ---------------------------------------------------------------------------------------------
// Worked text.

TEST(SdpText, ServiceSearchConfirmation) {
    Guarded rec_list{0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};
    Guarded rec(24);
    rec.put16(0, 0x0002); rec.put16(2, 0x0001); rec.put16(4, 2); rec.put16(6, 8);
    rec.put32(8, rec_list.address()); rec.put16(12, 0); rec.put16(14, 0); rec.put16(16, 0);
    rec.put32(20, 0);
    EXPECT_EQ(body(decode(0x0002, rec.data())),
              lines({"SDC_SERVICE_SEARCH_CFM_T", "\ttype =  02", "\tphandle =  01",
                     "\tnum_recs_ret =  02", "\tsize_rec_list =  08", "\tresponse =  00",
                     "\terr_code =  00", "\tsize_err_info =  00", " 00 01 00 00 00 01 00 01", ""}));
}

TEST(SdpText, BothCountsZeroEndWithTwoEmptyLines) {
    Guarded rec(24);
    for (unsigned i = 0; i < 24; ++i) rec.put8(i, 0);
    rec.put16(0, 0x0002);
    EXPECT_EQ(body(decode(0x0002, rec.data())),
              lines({"SDC_SERVICE_SEARCH_CFM_T", "\ttype =  02", "\tphandle =  00",
                     "\tnum_recs_ret =  00", "\tsize_rec_list =  00", "\tresponse =  00",
                     "\terr_code =  00", "\tsize_err_info =  00", "", ""}));
}

// ---------------------------------------------------------------------------------------------
// Every primitive without a byte run: the text of a patterned record of exactly the size its last
// field reaches.

struct Layout {
    std::uint16_t code;
    unsigned size;
    const char* text;
};

const Layout kLayouts[] = {
    {0x0007, 4, "SDC_TERMINATE_PRIMITIVE_REQ_T; type 07; phandle a3a2"},
    {0x0008, 12, "SDC_OPEN_SEARCH_REQ_T; type 08; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; >nap abaa"},
    {0x0009, 5, "SDC_OPEN_SEARCH_CFM_T; type 09; phandle a3a2; result a4"},
    {0x000a, 4, "SDC_CLOSE_SEARCH_REQ_T; type 0a; phandle a3a2"},
    {0x000b, 4, "SDC_CONFIG_REQ_T; type 0b; mtu a3a2"},
    {0x000c, 5, "SDC_CLOSE_SEARCH_IND_T; type 0c; phandle a3a2; result a4"},
    {0x000f, 10, "SDS_REGISTER_CFM_T; type 0f; phandle a3a2; svc_rec_hndl a7a6a5a4; result a9a8"},
    {0x0010, 8, "SDS_UNREGISTER_REQ_T; type 10; phandle a3a2; svc_rec_hndl a7a6a5a4"},
    {0x0011, 10, "SDS_UNREGISTER_CFM_T; type 11; phandle a3a2; svc_rec_hndl a7a6a5a4; result a9a8"},
    {0x0012, 4, "SDS_CONFIG_REQ_T; type 12; mtu a3a2"},
};

void PrintTo(const Layout& p, std::ostream* os) { *os << "code " << hex(p.code); }

class SdpLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(SdpLayout, PrintsEveryFieldFromItsOffset) {
    const Layout& l = GetParam();
    Guarded rec = patterned(l.size, l.code, 0xa0);
    EXPECT_EQ(body(decode(l.code, rec.data())), compact_text(l.text));
    const auto* row = riz::detail::find_primitive(Interface::sdp, l.code);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->size, l.size);
}

INSTANTIATE_TEST_SUITE_P(AllPlainPrimitives, SdpLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return "code_" + hex(info.param.code); });

TEST(SdpGaps, AddressGapNeverShows) {
    riz::test::expect_gaps_never_printed(Interface::sdp, 0x0008, 12, {9});
}

// ---------------------------------------------------------------------------------------------
// The seven byte-run primitives. Runs follow the last field line, run 1 then run 2, each exactly
// its count of bytes on one line; a count of 0 gives an empty line and its pointer is not read.

struct Runs {
    std::uint16_t code;
    unsigned size;
    int count1_at, ptr1_at;
    int count2_at, ptr2_at;  // -1: one run only
    const char* text;        // {1} and {2} stand for the counts as printed
    std::vector<unsigned> gaps;
};

const Runs kRuns[] = {
    {0x0001, 22, 12, 16, -1, -1,
     "SDC_SERVICE_SEARCH_REQ_T; type 01; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; >nap abaa; "
     "size_srch_pttrn {1}; max_num_recs b5b4", {9, 14, 15}},
    {0x0002, 24, 6, 8, 16, 20,
     "SDC_SERVICE_SEARCH_CFM_T; type 02; phandle a3a2; num_recs_ret a5a4; size_rec_list {1}; "
     "response adac; err_code afae; size_err_info {2}", {18, 19}},
    {0x0003, 26, 16, 20, -1, -1,
     "SDC_SERVICE_ATTRIBUTE_REQ_T; type 03; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; >nap abaa; "
     "svc_rec_hndl afaeadac; size_attr_list {1}; max_num_attr b9b8", {9, 18, 19}},
    {0x0004, 24, 4, 8, 16, 20,
     "SDC_SERVICE_ATTRIBUTE_CFM_T; type 04; phandle a3a2; size_attr_list {1}; response adac; "
     "err_code afae; size_err_info {2}", {6, 7, 18, 19}},
    {0x0005, 30, 12, 16, 20, 24,
     "SDC_SERVICE_SEARCH_ATTRIBUTE_REQ_T; type 05; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; "
     ">nap abaa; size_srch_pttrn {1}; size_attr_list {2}; max_num_attr bdbc", {9, 14, 15, 22, 23}},
    {0x0006, 24, 6, 8, 18, 20,
     "SDC_SERVICE_SEARCH_ATTRIBUTE_CFM_T; type 06; phandle a3a2; total_response_size a5a4; "
     "size_attr_list {1}; more_to_come ac; response afae; err_code b1b0; size_err_info {2}", {13}},
    {0x000e, 10, 8, 4, -1, -1, "SDS_REGISTER_REQ_T; type 0e; phandle a3a2; num_rec_bytes {1}", {}},
};

// `count` bytes ending at a guard page (count 0 leaves an address whose first byte faults); the
// two runs of a primitive hold different bytes, so a swap shows.
Guarded run_data(unsigned count, unsigned salt) {
    Guarded data(count);
    for (unsigned i = 0; i < count; ++i) data.put8(i, static_cast<std::uint8_t>(i * (29 + 2 * salt) + 7 * salt));
    return data;
}

struct Built {
    Guarded run1, run2, rec;
    std::string text;
};

Built build(const Runs& r, unsigned c1, unsigned c2) {
    const bool two = r.count2_at >= 0;
    if (!two) c2 = 0;
    Built b{run_data(c1, 1), run_data(c2, 2), patterned(r.size, r.code, 0xa0), r.text};
    b.rec.put16(r.count1_at, static_cast<std::uint16_t>(c1));
    b.rec.put32(r.ptr1_at, b.run1.address());
    b.text.replace(b.text.find("{1}"), 3, hex(c1));
    if (two) {
        b.rec.put16(r.count2_at, static_cast<std::uint16_t>(c2));
        b.rec.put32(r.ptr2_at, b.run2.address());
        b.text.replace(b.text.find("{2}"), 3, hex(c2));
    }
    b.text = compact_text(b.text) + run_line(b.run1) + (two ? run_line(b.run2) : "");
    return b;
}

void PrintTo(const Runs& p, std::ostream* os) { *os << "code " << hex(p.code); }

using RunCase = std::tuple<Runs, std::pair<unsigned, unsigned>>;
class SdpRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(SdpRuns, ShowExactlyTheCountedBytesInOrder) {
    const auto& [r, counts] = GetParam();
    Built b = build(r, counts.first, counts.second);
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugSDPprim(r.code, b.rec.data())), b.text);
    EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0);
    EXPECT_EQ(riz::detail::find_primitive(Interface::sdp, r.code)->size, r.size);
}

std::string runs_name(const ::testing::TestParamInfo<RunCase>& info) {
    const Runs& r = std::get<0>(info.param);
    const auto& c = std::get<1>(info.param);
    return "code_" + hex(r.code) + "_counts_" + std::to_string(c.first) + "_" + std::to_string(c.second);
}

INSTANTIATE_TEST_SUITE_P(
    AllRunPrimitives, SdpRuns,
    ::testing::Combine(::testing::ValuesIn(kRuns),
                       ::testing::Values(std::pair{0u, 0u}, std::pair{0u, 3u}, std::pair{3u, 0u},
                                         std::pair{1u, 17u}, std::pair{16u, 1u}, std::pair{256u, 5u},
                                         std::pair{65535u, 2u}, std::pair{2u, 65535u})),
    runs_name);

TEST(SdpRunGaps, GapBytesNeverShow) {
    for (const Runs& r : kRuns) {
        Built b = build(r, 3, 4);
        for (std::uint8_t v : {0x00, 0xff, 0x5a}) {
            for (unsigned g : r.gaps) b.rec.put8(g, v);
            EXPECT_EQ(body(decode(r.code, b.rec.data())), b.text) << hex(r.code);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The whole code space.

std::set<std::uint16_t> sdp_codes() {
    std::set<std::uint16_t> codes;
    for (std::uint16_t c = 0x0001; c <= 0x0012; ++c)
        if (c != 0x000d) codes.insert(c);
    return codes;
}

TEST(SdpCodes, HandWrittenTablesCoverEveryCode) {
    std::set<std::uint16_t> listed;
    for (const auto& l : kLayouts) listed.insert(l.code);
    for (const auto& r : kRuns) listed.insert(r.code);
    EXPECT_EQ(listed, sdp_codes());
    EXPECT_EQ(listed.size(), 17u);
}

TEST(SdpCodes, ExactlyTheListedCodesDecode) {
    const std::set<std::uint16_t> decoded = riz::test::decoding_codes(Interface::sdp);
    EXPECT_EQ(decoded, sdp_codes());
    for (std::uint16_t c : {0x0000, 0x000d, 0x0013, 0x002b, 0xffff}) EXPECT_EQ(decoded.count(c), 0u) << hex(c);

    std::set<std::uint16_t> registered;
    for (const auto& row : riz::detail::primitives(Interface::sdp)) registered.insert(row.code);
    EXPECT_EQ(registered, sdp_codes());
}

// Random records of exactly the registered size, every pointer served by guarded random bytes.
TEST(SdpCodes, RandomRecordsDecodeWithinTheirSize) {
    riz::test::expect_random_records_decode(Interface::sdp, sdp_codes());
}

}  // namespace
