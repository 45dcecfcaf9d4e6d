// RFCOMM interface: worked texts, every primitive's layout, byte runs behind guard pages, gaps that
// are never read, and sweeps over the whole code space.
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
    return d.debugRFCOMMprim(code, prim);
}

// ---------------------------------------------------------------------------------------------
// Worked texts.

TEST(RfcommText, StartConfirmation) {
    Guarded rec(18);
    rec.put16(0, 0x0008); rec.put16(2, 0x0001);
    rec.put32(4, 0x123456); rec.put8(8, 0x78); rec.put8(9, 0xee); rec.put16(10, 0x9abc);
    rec.put8(12, 0x01); rec.put8(13, 0x00);
    rec.put8(14, 0x07); rec.put8(15, 0xee); rec.put16(16, 0x007f);
    EXPECT_EQ(body(decode(0x0008, rec.data())),
              lines({"RFC_START_CFM_T", "\ttype =  08", "\tphandle =  01", "\tBD_ADDR_T",
                     "\t\tlap =  123456", "\t\tuap =  78", "\t\tnap =  9abc", "\tmux_id =  01",
                     "\tresult_code =  00", "\tSYS_PAR_T", "\t\tport_speed =  07",
                     "\t\tmax_frame_size =  7f"}));
}

TEST(RfcommText, PortNegotiationIndication) {
    Guarded rec(18);
    rec.put16(0, 0x0026); rec.put16(2, 0x0002); rec.put8(4, 0x01); rec.put8(5, 0x03);
    rec.put8(6, 1); rec.put8(7, 0xee);
    const std::uint8_t pars[] = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x11, 0x13};
    for (int i = 0; i < 8; ++i) rec.put8(8 + i, pars[i]);
    rec.put16(16, 0x007f);
    EXPECT_EQ(body(decode(0x0026, rec.data())),
              lines({"RFC_PORTNEG_IND_T", "\ttype =  26", "\tphandle =  02", "\tmux_id =  01",
                     "\tserver_chan =  03", "\trequest =  01", "\tPORT_PAR_T",
                     "\t\tport_speed =  03", "\t\tdata_bits =  03", "\t\tstop_bits =  00",
                     "\t\tparity =  00", "\t\tparity_type =  00", "\t\tflow_ctrl_mask =  00",
                     "\t\txon =  11", "\t\txoff =  13", "\t\tparameter_mask =  7f"}));
}

TEST(RfcommText, DataIndicationEndsWithAnEmptyLine) {
    Guarded payload{0x41, 0x42, 0x0d};
    Guarded rec(20);
    rec.put16(0, 0x0019); rec.put16(2, 0x0002); rec.put8(4, 0x01); rec.put8(5, 0x03);
    rec.put16(6, 0x0005); rec.put16(8, 3); rec.put16(10, 0xeeee);
    rec.put32(12, payload.address());
    rec.put32(16, 0xfffffff0);  // prelease: never followed
    EXPECT_EQ(body(decode(0x0019, rec.data())),
              lines({"RFC_DATA_IND_T", "\ttype =  19", "\tphandle =  02", "\tmux_id =  01",
                     "\tserver_chan =  03", "\tcredits =  05", "\tpayload_length =  03",
                     " 41 42 0d", ""}));
}

TEST(RfcommText, DataRequestsEndAfterTheRun) {
    Guarded payload{0x41, 0x42, 0x0d};
    for (std::uint16_t code : {0x0018, 0x001a}) {
        Guarded rec(12);
        rec.put16(0, code); rec.put8(2, 0x01); rec.put8(3, 0x03); rec.put16(4, 0x0005);
        rec.put16(6, 3); rec.put32(8, payload.address());
        EXPECT_EQ(body(decode(code, rec.data())),
                  lines({code == 0x0018 ? "RFC_DATA_REQ_T" : "RFC_DATAWRITE_REQ_T", "\ttype =  " + hex(code),
                         "\tmux_id =  01", "\tserver_chan =  03", "\tcredits =  05",
                         "\tpayload_length =  03", " 41 42 0d"}));
    }
}

TEST(RfcommText, InitConfirmationPrintsWordsWithoutPadding) {
    Guarded rec(24);
    rec.put16(0, 0x0002); rec.put16(2, 0x0040); rec.put16(4, 0x0003); rec.put16(6, 0x0001);
    rec.put16(8, 0x0100); rec.put32(12, 0x1d4c0); rec.put32(16, 5); rec.put32(20, 0xffffffff);
    EXPECT_EQ(body(decode(0x0002, rec.data())),
              compact_text("RFC_INIT_CFM_T; type 02; phandle 40; psm_local 03; fc_type 01; "
                     "fc_threshold 100; fc_timer 1d4c0; rsvd_4 05; rsvd_5 ffffffff"));
}

// ---------------------------------------------------------------------------------------------
// Every primitive without a byte run: the text of a patterned record of exactly the size the
// primitive's last field reaches. Bytes listed in `gaps` lie between fields and are never shown.

struct Layout {
    std::uint16_t code;
    unsigned size;
    const char* text;
    std::vector<unsigned> gaps;
};

const Layout kLayouts[] = {
    {0x0001, 24, "RFC_INIT_REQ_T; type 01; phandle a3a2; psm_local a5a4; use_flow_control a6; "
                 "fc_type a9a8; fc_threshold abaa; fc_timer afaeadac; rsvd_4 b3b2b1b0; rsvd_5 b7b6b5b4", {7}},
    {0x0002, 24, "RFC_INIT_CFM_T; type 02; phandle a3a2; psm_local a5a4; fc_type a7a6; "
                 "fc_threshold a9a8; fc_timer afaeadac; rsvd_4 b3b2b1b0; rsvd_5 b7b6b5b4", {10, 11}},
    {0x0003, 4, "RFC_REGISTER_REQ_T; type 03; phandle a3a2", {}},
    {0x0004, 6, "RFC_REGISTER_CFM_T; type 04; phandle a3a2; server_chan a4; accept a5", {}},
    {0x0005, 20, "RFC_START_REQ_T; type 05; BD_ADDR_T; >lap a7a6a5a4; >uap a8; >nap abaa; "
                 "psm_remote adac; SYS_PAR_T; >port_speed ae; >max_frame_size b1b0; respond_phandle b3b2",
     {2, 3, 9, 15}},
    {0x0006, 10, "RFC_START_RES_T; type 06; mux_id a2; accept a3; SYS_PAR_T; >port_speed a4; "
                 ">max_frame_size a7a6; respond_phandle a9a8", {5}},
    {0x0007, 18, "RFC_START_IND_T; type 07; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; "
                 ">nap abaa; mux_id ac; SYS_PAR_T; >port_speed ae; >max_frame_size b1b0", {9, 13, 15}},
    {0x0008, 18, "RFC_START_CFM_T; type 08; phandle a3a2; BD_ADDR_T; >lap a7a6a5a4; >uap a8; "
                 ">nap abaa; mux_id ac; result_code ad; SYS_PAR_T; >port_speed ae; >max_frame_size b1b0",
     {9, 15}},
    {0x0009, 10, "RFC_STARTCMP_IND_T; type 09; phandle a3a2; mux_id a4; result_code a5; SYS_PAR_T; "
                 ">port_speed a6; >max_frame_size a9a8", {7}},
    {0x000a, 3, "RFC_CLOSE_REQ_T; type 0a; mux_id a2", {}},
    {0x000b, 6, "RFC_CLOSE_IND_T; type 0b; phandle a3a2; mux_id a4; reason_code a5", {}},
    {0x000c, 5, "RFC_ESTABLISH_REQ_T; type 0c; mux_id a2; loc_server_chan a3; rem_server_chan a4", {}},
    {0x000d, 5, "RFC_ESTABLISH_RES_T; type 0d; mux_id a2; server_chan a3; accept a4", {}},
    {0x000e, 6, "RFC_ESTABLISH_IND_T; type 0e; phandle a3a2; mux_id a4; server_chan a5", {}},
    {0x000f, 7, "RFC_ESTABLISH_CFM_T; type 0f; phandle a3a2; mux_id a4; server_chan a5; result_code a6", {}},
    {0x0010, 4, "RFC_RELEASE_REQ_T; type 10; mux_id a2; server_chan a3", {}},
    {0x0011, 7, "RFC_RELEASE_IND_T; type 11; phandle a3a2; mux_id a4; server_chan a5; reason_code a6", {}},
    {0x0012, 3, "RFC_FCON_REQ_T; type 12; mux_id a2", {}},
    {0x0013, 5, "RFC_FCON_IND_T; type 13; phandle a3a2; mux_id a4", {}},
    {0x0014, 5, "RFC_FCON_CFM_T; type 14; phandle a3a2; mux_id a4", {}},
    {0x0015, 3, "RFC_FCOFF_REQ_T; type 15; mux_id a2", {}},
    {0x0016, 5, "RFC_FCOFF_IND_T; type 16; phandle a3a2; mux_id a4", {}},
    {0x0017, 5, "RFC_FCOFF_CFM_T; type 17; phandle a3a2; mux_id a4", {}},
    {0x001b, 6, "RFC_DATAWRITE_CFM_T; type 1b; phandle a3a2; mux_id a4; server_chan a5", {}},
    {0x001c, 6, "RFC_CONTROL_REQ_T; type 1c; mux_id a2; server_chan a3; CONTROL_PAR_T; "
                ">modem_signal a4; >break_signal a5", {}},
    {0x001d, 8, "RFC_CONTROL_IND_T; type 1d; phandle a3a2; mux_id a4; server_chan a5; CONTROL_PAR_T; "
                ">modem_signal a6; >break_signal a7", {}},
    {0x001e, 6, "RFC_LINESTATUS_REQ_T; type 1e; mux_id a2; server_chan a3; error_flag a4; line_status a5", {}},
    {0x001f, 8, "RFC_LINESTATUS_IND_T; type 1f; phandle a3a2; mux_id a4; server_chan a5; "
                "error_flag a6; line_status a7", {}},
    {0x0020, 12, "RFC_PARNEG_REQ_T; type 20; mux_id a2; loc_server_chan a3; rem_server_chan a4; "
                 "DLC_PAR_T; >max_frame_size a7a6; >credit_flow_ctrl a8; >initial_credits abaa", {5, 9}},
    {0x0021, 10, "RFC_PARNEG_RES_T; type 21; mux_id a2; server_chan a3; DLC_PAR_T; "
                 ">max_frame_size a5a4; >credit_flow_ctrl a6; >initial_credits a9a8", {7}},
    {0x0022, 12, "RFC_PARNEG_IND_T; type 22; phandle a3a2; mux_id a4; server_chan a5; DLC_PAR_T; "
                 ">max_frame_size a7a6; >credit_flow_ctrl a8; >initial_credits abaa", {9}},
    {0x0023, 12, "RFC_PARNEG_CFM_T; type 23; phandle a3a2; mux_id a4; server_chan a5; DLC_PAR_T; "
                 ">max_frame_size a7a6; >credit_flow_ctrl a8; >initial_credits abaa", {9}},
    {0x0024, 16, "RFC_PORTNEG_REQ_T; type 24; mux_id a2; loc_server_chan a3; rem_server_chan a4; "
                 "request a5; PORT_PAR_T; >port_speed a6; >data_bits a7; >stop_bits a8; >parity a9; "
                 ">parity_type aa; >flow_ctrl_mask ab; >xon ac; >xoff ad; >parameter_mask afae", {}},
    {0x0025, 14, "RFC_PORTNEG_RES_T; type 25; mux_id a2; server_chan a3; PORT_PAR_T; >port_speed a4; "
                 ">data_bits a5; >stop_bits a6; >parity a7; >parity_type a8; >flow_ctrl_mask a9; "
                 ">xon aa; >xoff ab; >parameter_mask adac", {}},
    {0x0026, 18, "RFC_PORTNEG_IND_T; type 26; phandle a3a2; mux_id a4; server_chan a5; request a6; "
                 "PORT_PAR_T; >port_speed a8; >data_bits a9; >stop_bits aa; >parity ab; >parity_type ac; "
                 ">flow_ctrl_mask ad; >xon ae; >xoff af; >parameter_mask b1b0", {7}},
    {0x0027, 16, "RFC_PORTNEG_CFM_T; type 27; phandle a3a2; mux_id a4; server_chan a5; PORT_PAR_T; "
                 ">port_speed a6; >data_bits a7; >stop_bits a8; >parity a9; >parity_type aa; "
                 ">flow_ctrl_mask ab; >xon ac; >xoff ad; >parameter_mask afae", {}},
    {0x002a, 7, "RFC_NSC_IND_T; type 2a; phandle a3a2; mux_id a4; command_type a5; cmd_res a6", {}},
};

void PrintTo(const Layout& p, std::ostream* os) { *os << "code " << hex(p.code); }

class RfcommLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(RfcommLayout, PrintsEveryFieldFromItsOffset) {
    const Layout& l = GetParam();
    Guarded rec = patterned(l.size, l.code, 0xa0);
    EXPECT_EQ(body(decode(l.code, rec.data())), compact_text(l.text));
    const auto* row = riz::detail::find_primitive(Interface::rfcomm, l.code);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->size, l.size);
}

TEST(RfcommLayoutGaps, GapBytesNeverShow) {
    for (const Layout& l : kLayouts) riz::test::expect_gaps_never_printed(Interface::rfcomm, l.code, l.size, l.gaps);
}

std::string layout_name(const ::testing::TestParamInfo<Layout>& info) {
    return "code_" + hex(info.param.code);
}

INSTANTIATE_TEST_SUITE_P(AllPlainPrimitives, RfcommLayout, ::testing::ValuesIn(kLayouts), layout_name);

// ---------------------------------------------------------------------------------------------
// The five byte-run primitives: the run covers exactly `count` bytes, on one line, after the
// last field line; a count of 0 never reads the pointer.

struct RunPrim {
    std::uint16_t code;
    unsigned size;
    unsigned count_at;
    unsigned ptr_at;
    const char* text;  // {n} stands for the count as printed
    bool extra_empty_line;
    std::vector<unsigned> gaps;
};

const RunPrim kRuns[] = {
    {0x0018, 12, 6, 8, "RFC_DATA_REQ_T; type 18; mux_id a2; server_chan a3; credits a5a4; payload_length {n}", false, {}},
    {0x0019, 16, 8, 12, "RFC_DATA_IND_T; type 19; phandle a3a2; mux_id a4; server_chan a5; credits a7a6; "
                        "payload_length {n}", true, {10, 11}},
    {0x001a, 12, 6, 8, "RFC_DATAWRITE_REQ_T; type 1a; mux_id a2; server_chan a3; credits a5a4; "
                       "payload_length {n}", false, {}},
    {0x0028, 12, 4, 8, "RFC_TEST_REQ_T; type 28; mux_id a2; test_data_length {n}", false, {3, 6, 7}},
    {0x0029, 12, 6, 8, "RFC_TEST_CFM_T; type 29; phandle a3a2; mux_id a4; test_data_length {n}", false, {5}},
};

// `count` bytes ending at a guard page; count 0 leaves an address whose first byte faults.
Guarded run_data(unsigned count) {
    Guarded data(count);
    for (unsigned i = 0; i < count; ++i) data.put8(i, static_cast<std::uint8_t>(i * 29 + 7));
    return data;
}

std::string run_text(const RunPrim& r, unsigned count, const Guarded& data) {
    std::string fields = r.text;
    fields.replace(fields.find("{n}"), 3, hex(count));
    return compact_text(fields) + run_line(data) + (r.extra_empty_line ? "\n" : "");
}

Guarded run_record(const RunPrim& r, unsigned count, const Guarded& data) {
    Guarded rec = patterned(r.size, r.code, 0xa0);
    rec.put16(r.count_at, static_cast<std::uint16_t>(count));
    rec.put32(r.ptr_at, data.address());
    return rec;
}

void PrintTo(const RunPrim& p, std::ostream* os) { *os << "code " << hex(p.code); }

class RfcommRun : public ::testing::TestWithParam<std::tuple<RunPrim, unsigned>> {};

TEST_P(RfcommRun, ShowsExactlyTheCountedBytes) {
    const auto& [r, count] = GetParam();
    Guarded data = run_data(count);
    Guarded rec = run_record(r, count, data);
    RizOrodOzido d;
    EXPECT_EQ(body(d.debugRFCOMMprim(r.code, rec.data())), run_text(r, count, data));
    EXPECT_EQ(RizOrodOzidoTestAccess::mode(d), 0);
    EXPECT_EQ(riz::detail::find_primitive(Interface::rfcomm, r.code)->size, r.size);
}

TEST(RfcommRunGaps, GapBytesNeverShow) {
    for (const RunPrim& r : kRuns) {
        Guarded data = run_data(3);
        Guarded rec = run_record(r, 3, data);
        for (std::uint8_t v : {0x00, 0xff, 0x5a}) {
            for (unsigned g : r.gaps) rec.put8(g, v);
            EXPECT_EQ(body(decode(r.code, rec.data())), run_text(r, 3, data)) << hex(r.code);
        }
    }
}

std::string run_name(const ::testing::TestParamInfo<std::tuple<RunPrim, unsigned>>& info) {
    return "code_" + hex(std::get<0>(info.param).code) + "_count_" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllRunPrimitives, RfcommRun,
                         ::testing::Combine(::testing::ValuesIn(kRuns),
                                            ::testing::Values(0u, 1u, 3u, 16u, 17u, 65535u)),
                         run_name);

TEST(RfcommRunEdge, ZeroCountLeavesANullPointerAlone) {
    Guarded rec(16);
    rec.put16(0, 0x0019);  // payload_length 0, payload and prelease null
    EXPECT_EQ(body(decode(0x0019, rec.data())),
              lines({"RFC_DATA_IND_T", "\ttype =  19", "\tphandle =  00", "\tmux_id =  00",
                     "\tserver_chan =  00", "\tcredits =  00", "\tpayload_length =  00", "", ""}));
}

// ---------------------------------------------------------------------------------------------
// The whole code space.

std::set<std::uint16_t> rfcomm_codes() {
    std::set<std::uint16_t> codes;
    for (std::uint16_t c = 0x0001; c <= 0x002a; ++c) codes.insert(c);
    return codes;
}

TEST(RfcommCodes, HandWrittenTablesCoverEveryCode) {
    std::set<std::uint16_t> listed;
    for (const auto& l : kLayouts) listed.insert(l.code);
    for (const auto& r : kRuns) listed.insert(r.code);
    EXPECT_EQ(listed, rfcomm_codes());
    EXPECT_EQ(listed.size(), 42u);
}

TEST(RfcommCodes, ExactlyTheListedCodesDecode) {
    const std::set<std::uint16_t> decoded = riz::test::decoding_codes(Interface::rfcomm);
    EXPECT_EQ(decoded, rfcomm_codes());
    for (std::uint16_t c : {0x0000, 0x002b, 0x0030, 0x0100, 0xffff}) EXPECT_EQ(decoded.count(c), 0u) << hex(c);

    std::set<std::uint16_t> registered;
    for (const auto& row : riz::detail::primitives(Interface::rfcomm)) registered.insert(row.code);
    EXPECT_EQ(registered, rfcomm_codes());
}

// Random records of exactly the registered size, every pointer served by guarded random bytes.
TEST(RfcommCodes, RandomRecordsDecodeWithinTheirSize) {
    riz::test::expect_random_records_decode(Interface::rfcomm, rfcomm_codes());
}

}  // namespace
