// SPDX-License-Identifier: Apache-2.0
// The worked examples of the library's contract, exact text after a header line of the right
// form. Records and the bytes their pointers address lie in process memory below 4 GiB, so the
// in-process pointer path is the one taken.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "support/decode.h"

namespace {
using rizorod::test::Guarded;
using rizorod::test::Interface;

std::string times(int n, const std::string& s) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

struct Example {
    Interface iface;
    std::uint16_t code;
    std::string record;                                   // hexadecimal
    std::vector<std::pair<unsigned, std::string>> blocks;  // pointer field offset, bytes addressed
    std::string text;
};

const std::string kAddr = "\tBD_ADDR_T\n\t\tlap =  123456\n\t\tuap =  78\n\t\tnap =  9abc\n";
const std::string kCommon = "\tHCI_COMMAND_COMMON_T\n\t\top_code =  ";

const Example kExamples[] = {
    {Interface::dm, 0x2004, "0420 1a00 00 00 2900 338b9e00 5b 00 0200 01", {},
     "DM_ACL_CONNECT_CFM_T\n\ttype =  2004\n\tphandle =  1a\n\tstatus =  00\n\thandle =  29\n\tBD_ADDR_T\n"
     "\t\tlap =  9e8b33\n\t\tuap =  5b\n\t\tnap =  02\n\tenc_mode =  01\n"},
    {Interface::dm, 0x2004, "0420 0100 00 00 2800 56341200 78 00 bc9a 00", {},
     "DM_ACL_CONNECT_CFM_T\n\ttype =  2004\n\tphandle =  01\n\tstatus =  00\n\thandle =  28\n" + kAddr +
         "\tenc_mode =  00\n"},
    {Interface::dm, 0x2009, "0920 0100 02 3*00 16*00", {{8, "2800 0300 2900 0100 56*00"}},
     "DM_ACL_DATA_SENT_IND_T\n\ttype =  2009\n\tphandle =  01\n\tnum_handles =  02\n\tHANDLE_COMPLETE_T\n"
     "\t\thandle =  28\n\t\tnum_completed =  03\n\tHANDLE_COMPLETE_T\n\t\thandle =  29\n\t\tnum_completed =  01\n" +
         times(14, "\tHANDLE_COMPLETE_T\n\t\thandle =  00\n\t\tnum_completed =  00\n")},
    {Interface::dm, 0x2c12, "122c 0100 debc9a00 78 00 3412 01000000 03000000 01 01 0000 00000000 00000000", {},
     "DM_SM_ACCESS_CFM_T\n\ttype =  2c12\n\tphandle =  01\n\tBD_ADDR_T\n\t\tlap =  9abcde\n\t\tuap =  78\n"
     "\t\tnap =  1234\n\tprotocol_id =  01\n\tchannel =  03\n\tincoming =  01\n\tgranted =  01\n"
     "\tpv_context =  00\n\tn_context =  00\n"},
    {Interface::dm, 0x2c1d, "1d2c 0200 0100 0300 16*00", {},
     "DM_SM_L2CAP_CLRX_ENABLE_IND_T\n\ttype =  2c1d\n\tphandle =  02\n\tpsm_array [c] =  01\n"
     "\tpsm_array [c] =  03\n" + times(8, "\tpsm_array [c] =  00\n")},
    {Interface::dm, 0x042b, "2b04 0200 00 3*00 56341200 78 00 bc9a 01 00 0a00 2301", {},
     "DM_HCI_READ_REMOTE_VERSION_COMPLETE_T\n\ttype =  42b\n\tphandle =  02\n\tstatus =  00\n" + kAddr +
         "\tLMP_version =  01\n\tmanufacturer_name =  0a\n\tLMP_subversion =  123\n"},
    {Interface::dm, 0x0c1a, "1a0c 01 00 03", {},
     "HCI_WRITE_SCAN_ENABLE_T\n" + kCommon + "c1a\n\t\tlength =  01\n\tscan_enable =  03\n"},
    {Interface::dm, 0x0c3a, "3a0c 07 00 02 3*00 24*00", {{8, "338b9e00 008b9e00"}},
     "HCI_WRITE_CURRENT_IAC_LAP_T\n" + kCommon +
         "c3a\n\t\tlength =  07\n\tnum_current_iac =  02\n\tiac_lap =  9e8b33\n\tiac_lap =  9e8b00\n\n"},
    {Interface::dm, 0x0c13, "130c f8 00 32*00", {{4, "61626300"}},
     "HCI_CHANGE_LOCAL_NAME_T\n" + kCommon + "c13\n\t\tlength =  f8\n\tname_part = abc\n"},
    {Interface::l2cap, 0x0007, "0700 4000 0300 a002 01 3*00 3*00000000 10270000 e8030000 ffff 00", {},
     "L2CA_CONFIG_REQ_T\n\ttype =  07\n\tcid =  40\n\toptions =  03\n\tin_mtu =  2a0\n\tQOS_FLOW_T\n"
     "\t\tservice_type =  01\n\t\ttoken_rate =  00\n\t\ttoken_bucket =  00\n\t\tpeak_bw =  00\n"
     "\t\tlatency =  2710\n\t\tdelay_var =  3e8\n\toutflush_to =  ffff\n\tmore_flag =  00\n"},
    {Interface::l2cap, 0x000b, "0b00 4100 0300 0000 00000000", {{8, "0102ff"}},
     "L2CA_DATAWRITE_REQ_T\n\ttype =  0b\n\tcid =  41\n\tlength =  03\n 01 02 ff\n"},
    {Interface::l2cap, 0x010a, "0a01 0100 0008 001122334455 66778899aabb 0000 00000000 0400", {{20, "4500001c"}},
     "BNEP_EXTENDED_DATA_REQ_T\n\ttype =  10a\n\tid =  01\n\tether_type =  800\n\tETHER_ADDR\n"
     "\t\tw [c] =  1100\n\t\tw [c] =  3322\n\t\tw [c] =  5544\n\tETHER_ADDR\n\t\tw [c] =  7766\n"
     "\t\tw [c] =  9988\n\t\tw [c] =  bbaa\n\tlen =  04\n 45 00 00 1c\n"},
    {Interface::l2cap, 0x0201, "0102 0300 0000 10*00 ffff c0a8 0001 5000 0004 901f 0004", {},
     "TCP_OPEN_REQ_T\n\ttype =  201\n\tphandle =  03\n\tflags =  00\n"
     "\trem_addr =  0000 0000 0000 0000 0000 ffff a8c0 0100 \n\trem_port =  50\n\tout_size =  400\n"
     "\tloc_port =  1f90\n\tin_size =  400\n"},
    {Interface::rfcomm, 0x0008, "0800 0100 56341200 78 00 bc9a 01 00 07 00 7f00", {},
     "RFC_START_CFM_T\n\ttype =  08\n\tphandle =  01\n" + kAddr +
         "\tmux_id =  01\n\tresult_code =  00\n\tSYS_PAR_T\n\t\tport_speed =  07\n\t\tmax_frame_size =  7f\n"},
    {Interface::rfcomm, 0x0019, "1900 0200 01 03 0500 0300 0000 00000000 00000000", {{12, "41420d"}},
     "RFC_DATA_IND_T\n\ttype =  19\n\tphandle =  02\n\tmux_id =  01\n\tserver_chan =  03\n\tcredits =  05\n"
     "\tpayload_length =  03\n 41 42 0d\n\n"},
    {Interface::rfcomm, 0x0026, "2600 0200 01 03 01 00 03 03 00 00 00 00 11 13 7f00", {},
     "RFC_PORTNEG_IND_T\n\ttype =  26\n\tphandle =  02\n\tmux_id =  01\n\tserver_chan =  03\n\trequest =  01\n"
     "\tPORT_PAR_T\n\t\tport_speed =  03\n\t\tdata_bits =  03\n\t\tstop_bits =  00\n\t\tparity =  00\n"
     "\t\tparity_type =  00\n\t\tflow_ctrl_mask =  00\n\t\txon =  11\n\t\txoff =  13\n\t\tparameter_mask =  7f\n"},
    {Interface::sdp, 0x0002, "0200 0100 0200 0800 00000000 0000 0000 0000 0000 00000000", {{8, "0001000000010001"}},
     "SDC_SERVICE_SEARCH_CFM_T\n\ttype =  02\n\tphandle =  01\n\tnum_recs_ret =  02\n\tsize_rec_list =  08\n"
     "\tresponse =  00\n\terr_code =  00\n\tsize_err_info =  00\n 00 01 00 00 00 01 00 01\n\n"},
};

TEST(WorkedExamples, ExactText) {
    RizOrodOzido d;
    for (const Example& e : kExamples) {
        Guarded record(rizorod::test::bytes(e.record));
        std::vector<std::unique_ptr<Guarded>> blocks;
        for (const auto& [offset, hex] : e.blocks) {
            blocks.push_back(std::make_unique<Guarded>(rizorod::test::bytes(hex)));
            record.put32(offset, blocks.back()->address());
        }
        EXPECT_EQ(rizorod::test::body(rizorod::decode(d, e.iface, e.code, record.data())), e.text);
    }
}

}  // namespace
