// HCI events and command completions of the Device Manager interface. Every record is placed so
// that it ends exactly where its decoder must stop reading: one byte further faults.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/decode.h"

namespace {
using riz::test::Guarded;
using riz::test::hex;
using riz::test::lines;

std::string dm(std::uint16_t code, const void* prim) {
    RizOrodOzido d;
    return riz::test::body(d.debugDMprim(code, prim));
}

// A record of exactly `size` bytes, gaps and unset bytes holding 0xee.
Guarded record(std::size_t size) {
    Guarded g(size);
    std::memset(g.data(), 0xee, size);
    return g;
}

void put_bd(Guarded& g, std::size_t o, std::uint32_t lap, std::uint8_t uap, std::uint16_t nap) {
    g.put32(o, lap);
    g.put8(o + 4, uap);
    g.put16(o + 6, nap);
}

std::string bd_lines(const std::string& tabs, std::uint32_t lap, std::uint8_t uap, std::uint16_t nap) {
    return tabs + "BD_ADDR_T\n" + tabs + "\tlap =  " + hex(lap) + "\n" + tabs + "\tuap =  " + hex(uap) +
           "\n" + tabs + "\tnap =  " + hex(nap) + "\n";
}

// ---- Worked examples and fixed layouts -------------------------------------------------------

TEST(HciEvents, RemoteVersionWorkedExample) {
    Guarded r = record(22);
    r.put16(0, 0x042b);
    r.put16(2, 0x0002);
    r.put8(4, 0);
    put_bd(r, 8, 0x123456, 0x78, 0x9abc);
    r.put8(16, 1);
    r.put16(18, 0x000a);
    r.put16(20, 0x0123);
    EXPECT_EQ(dm(0x042b, r.data()), lines({"DM_HCI_READ_REMOTE_VERSION_COMPLETE_T",
                                           "\ttype =  42b",
                                           "\tphandle =  02",
                                           "\tstatus =  00",
                                           "\tBD_ADDR_T",
                                           "\t\tlap =  123456",
                                           "\t\tuap =  78",
                                           "\t\tnap =  9abc",
                                           "\tLMP_version =  01",
                                           "\tmanufacturer_name =  0a",
                                           "\tLMP_subversion =  123"}));
}

// Layouts that differ from their neighbours: address before status, labels that differ between
// twins, four-byte values, gaps that are never read. The bytes are exactly the record's extent.
struct Golden {
    const char* what;
    std::uint16_t code;
    std::vector<std::uint8_t> bytes;
    std::string expected;
};
void PrintTo(const Golden& g, std::ostream* os) { *os << g.what; }

class HciEventGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(HciEventGolden, PrintsExpectedLines) {
    const Golden& g = GetParam();
    Guarded r(g.bytes);
    EXPECT_EQ(dm(g.code, r.data()), g.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HciEventGolden,
    ::testing::Values(
        Golden{"QosSetupCfm", 0x0810,
               {0x10, 0x08, 0x05, 0x00, 0x00, 0xee, 0xee, 0xee, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee,
                0x02, 0x00, 0x01, 0x02, 0xee, 0xee, 0x40, 0x1f, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                0xff, 0xff, 0xff, 0xff, 0x78, 0x56, 0x34, 0x12},
               lines({"DM_HCI_QOS_SETUP_CFM_T", "\ttype =  810", "\tphandle =  05", "\tstatus =  00",
                      "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02",
                      "\tflags =  01", "\tservice_type =  02", "\ttoken_rate =  1f40",
                      "\tpeak_bandwidth =  10000", "\tlatency =  ffffffff",
                      "\tdelay_variation =  12345678"})},
        Golden{"RoleDiscoveryAddressBeforeStatus", 0x0812,
               {0x12, 0x08, 0x1a, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0xee, 0x06, 0x07, 0x11, 0x01},
               lines({"DM_HCI_ROLE_DISCOVERY_COMPLETE_T", "\ttype =  812", "\tphandle =  1a",
                      "\tBD_ADDR_T", "\t\tlap =  4030201", "\t\tuap =  05", "\t\tnap =  706",
                      "\tstatus =  11", "\trole =  01"})},
        Golden{"ReadAutoFlushMixedCaseLabel", 0x0c5c,
               {0x5c, 0x0c, 0x02, 0x00, 0x33, 0x8b, 0x9e, 0x00, 0x5b, 0xee, 0x02, 0x00, 0x00, 0xee,
                0xff, 0x07},
               lines({"DM_HCI_READ_AUTO_FLUSH_COMPLETE_T", "\ttype =  c5c", "\tphandle =  02",
                      "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02",
                      "\tstatus =  00", "\tFlushTimeout =  7ff"})},
        Golden{"LocalVersionLowerCaseLabels", 0x100b,
               {0x0b, 0x10, 0x00, 0x00, 0x00, 0x01, 0x34, 0x12, 0x01, 0xee, 0x0a, 0x00, 0x23, 0x01},
               lines({"DM_HCI_READ_LOCAL_VERSION_COMPLETE_T", "\ttype =  100b", "\tphandle =  00",
                      "\tstatus =  00", "\thci_version =  01", "\thci_revision =  1234",
                      "\tlmp_version =  01", "\tmanuf_name =  0a", "\tlmp_subversion =  123"})},
        Golden{"RemoteFeaturesFourWords", 0x042a,
               {0x2a, 0x04, 0x03, 0x00, 0x00, 0xee, 0xee, 0xee, 0x00, 0x00, 0x00, 0x00, 0x00, 0xee,
                0x00, 0x00, 0xff, 0xff, 0x08, 0x00, 0x00, 0x00, 0x18, 0xf8},
               lines({"DM_HCI_READ_REMOTE_FEATURES_COMPLETE_T", "\ttype =  42a", "\tphandle =  03",
                      "\tstatus =  00", "\tBD_ADDR_T", "\t\tlap =  00", "\t\tuap =  00", "\t\tnap =  00",
                      "\tfeatures [c] =  ffff", "\tfeatures [c] =  08", "\tfeatures [c] =  00",
                      "\tfeatures [c] =  f818"})},
        Golden{"LocalFeaturesEightBytes", 0x100c,
               {0x0c, 0x10, 0x00, 0x00, 0x00, 0xff, 0xff, 0x0f, 0x00, 0x08, 0x18, 0x00, 0x80},
               lines({"DM_HCI_READ_LOCAL_FEATURES_COMPLETE_T", "\ttype =  100c", "\tphandle =  00",
                      "\tstatus =  00", "\tlmp_supp_features [c] =  ff",
                      "\tlmp_supp_features [c] =  ff", "\tlmp_supp_features [c] =  0f",
                      "\tlmp_supp_features [c] =  00", "\tlmp_supp_features [c] =  08",
                      "\tlmp_supp_features [c] =  18", "\tlmp_supp_features [c] =  00",
                      "\tlmp_supp_features [c] =  80"})},
        Golden{"HardwareErrorHasNoStatus", 0x0c6e, {0x6e, 0x0c, 0x01, 0x00, 0x2a},
               lines({"DM_HCI_HARDWARE_ERROR_T", "\ttype =  c6e", "\tphandle =  01", "\thw_error =  2a"})},
        Golden{"DataBufferOverflowTypeAndPhandleOnly", 0x0c6f, {0x6f, 0x0c, 0x01, 0x00},
               lines({"DM_HCI_DATA_BUFFER_OVERFLOW_T", "\ttype =  c6f", "\tphandle =  01"})},
        Golden{"ClassOfDeviceAllFourBytes", 0x0c58,
               {0x58, 0x0c, 0x01, 0x00, 0x00, 0xee, 0xee, 0xee, 0x0c, 0x02, 0x5a, 0x80},
               lines({"DM_HCI_READ_CLASS_OF_DEVICE_COMPLETE_T", "\ttype =  c58", "\tphandle =  01",
                      "\tstatus =  00", "\tdev_class =  805a020c"})},
        Golden{"PrintsTypeFoundNotCode", 0x0425, {0x99, 0x77, 0x01, 0x00, 0x00},
               lines({"DM_HCI_INQUIRY_COMPLETE_T", "\ttype =  7799", "\tphandle =  01",
                      "\tstatus =  00"})}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- Inquiry results: three records of 20 bytes per block --------------------------------------

struct CountCase {
    unsigned count;    // the count field
    unsigned printed;  // what the pointer array can address of it
};
void PrintTo(const CountCase& c, std::ostream* os) { *os << "count " << c.count; }

class InquiryResults : public ::testing::TestWithParam<CountCase> {};

TEST_P(InquiryResults, PrintsEachCountedResultOnceInOrder) {
    const auto [count, printed] = GetParam();
    const unsigned blocks = (printed + 2) / 3;
    // Only the block pointers in use are readable.
    Guarded r = record(blocks ? 8 + 4 * blocks : 5);
    r.put16(0, 0x0424);
    r.put16(2, 0x0007);
    r.put8(4, static_cast<std::uint8_t>(count));
    std::vector<Guarded> store;
    store.reserve(blocks);
    for (unsigned b = 0; b < blocks; ++b) {
        const unsigned used = printed - 3 * b < 3 ? printed - 3 * b : 3;
        // The last record's two trailing gap bytes are not read.
        store.push_back(record(20 * (used - 1) + 18));
        Guarded& blk = store.back();
        for (unsigned i = 0; i < used; ++i) {
            const unsigned k = 3 * b + i;
            put_bd(blk, 20 * i, 0x9e0000 + k, static_cast<std::uint8_t>(0x10 + k),
                   static_cast<std::uint16_t>(0x100 + k));
            blk.put8(20 * i + 8, static_cast<std::uint8_t>(k % 3));
            blk.put8(20 * i + 9, 0x02);
            blk.put8(20 * i + 10, static_cast<std::uint8_t>(k));
            blk.put32(20 * i + 12, 0xff5a0200 + k);
            blk.put16(20 * i + 16, static_cast<std::uint16_t>(0x3000 + k));
        }
        r.put32(8 + 4 * b, blk.address());
    }
    std::string expected = lines({"DM_HCI_INQUIRY_RESULT_T", "\ttype =  424", "\tphandle =  07",
                                  "\tnum_responses =  " + hex(count)});
    for (unsigned k = 0; k < printed; ++k) {
        expected += "\tHCI_INQ_RESULT_T\n" + bd_lines("\t\t", 0x9e0000 + k, 0x10 + k, 0x100 + k) +
                    lines({"\t\tpage_scan_rep_mode =  " + hex(k % 3), "\t\tpage_scan_period_mode =  02",
                           "\t\tpage_scan_mode =  " + hex(k), "\t\tdev_class =  " + hex(0xff5a0200 + k),
                           "\t\tclock_offset =  " + hex(0x3000 + k)});
    }
    EXPECT_EQ(dm(0x0424, r.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, InquiryResults,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 1}, CountCase{3, 3},
                                           CountCase{4, 4}, CountCase{18, 18}, CountCase{19, 18},
                                           CountCase{255, 18}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// ---- Returned link keys: one record per pointer ------------------------------------------------

class ReturnLinkKeys : public ::testing::TestWithParam<CountCase> {};

TEST_P(ReturnLinkKeys, PrintsOneRecordPerKey) {
    const auto [count, printed] = GetParam();
    Guarded r = record(printed ? 8 + 4 * printed : 5);
    r.put16(0, 0x0427);
    r.put16(2, 0x0003);
    r.put8(4, static_cast<std::uint8_t>(count));
    std::vector<Guarded> keys;
    keys.reserve(printed);
    std::string expected = lines({"DM_HCI_RETURN_LINK_KEYS_T", "\ttype =  427", "\tphandle =  03",
                                  "\tnum_keys =  " + hex(count)});
    for (unsigned k = 0; k < printed; ++k) {
        keys.push_back(record(24));
        put_bd(keys.back(), 0, 0x200000 + k, static_cast<std::uint8_t>(k), 0x0a00);
        expected += "\tLINK_KEY_BD_ADDR_T\n" + bd_lines("\t\t", 0x200000 + k, k, 0x0a00);
        for (unsigned i = 0; i < 16; ++i) {
            keys.back().put8(8 + i, static_cast<std::uint8_t>(16 * k + i));
            expected += "\t\tlink_key [c] =  " + hex(16 * k + i) + "\n";
        }
        r.put32(8 + 4 * k, keys.back().address());
    }
    EXPECT_EQ(dm(0x0427, r.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, ReturnLinkKeys,
                         ::testing::Values(CountCase{0, 0}, CountCase{2, 2}, CountCase{10, 10},
                                           CountCase{11, 10}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// ---- Current access codes: whole blocks of 16, unlabelled --------------------------------------

class ReadCurrentIac : public ::testing::TestWithParam<CountCase> {};

TEST_P(ReadCurrentIac, PrintsEveryEntryOfEachBlockInUse) {
    const auto [count, printed] = GetParam();
    const unsigned blocks = printed / 16;
    Guarded r = record(blocks ? 8 + 4 * blocks : 6);
    r.put16(0, 0x0c68);
    r.put16(2, 0x0004);
    r.put8(4, 0x00);
    r.put8(5, static_cast<std::uint8_t>(count));
    std::vector<Guarded> store;
    store.reserve(blocks);
    std::string expected = lines({"DM_HCI_READ_CURRENT_IAC_LAP_COMPLETE_T", "\ttype =  c68",
                                  "\tphandle =  04", "\tstatus =  00", "\tnum_current_iac =  " + hex(count)});
    for (unsigned b = 0; b < blocks; ++b) {
        store.push_back(record(64));
        for (unsigned i = 0; i < 16; ++i) {
            store.back().put32(4 * i, 0x9e8b00 + 16 * b + i);
            expected += "\t " + hex(0x9e8b00 + 16 * b + i) + "\n";
        }
        r.put32(8 + 4 * b, store.back().address());
    }
    EXPECT_EQ(dm(0x0c68, r.data()), expected);
}

// `printed` counts whole blocks' entries here.
INSTANTIATE_TEST_SUITE_P(Counts, ReadCurrentIac,
                         ::testing::Values(CountCase{0, 0}, CountCase{1, 16}, CountCase{16, 16},
                                           CountCase{17, 32}, CountCase{96, 96}, CountCase{97, 96}),
                         [](const auto& info) { return "Count" + std::to_string(info.param.count); });

// ---- Link-policy write request -----------------------------------------------------------------

Guarded lp_settings(std::size_t size, std::uint8_t policy) {
    Guarded r = record(size);
    r.put16(0, 0x080d);
    put_bd(r, 4, 0x9e8b33, 0x5b, 0x0002);
    r.put16(12, 0x000f);
    r.put8(14, policy);
    return r;
}

const std::string kLpHead = lines({"DM_HCI_WRITE_LP_SETTINGS_T", "\ttype =  80d", "\tBD_ADDR_T",
                                   "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02",
                                   "\tlink_policy_settings =  0f"});

TEST(WriteLpSettings, SniffPrintsFourSettings) {
    Guarded r = lp_settings(24, 2);
    r.put16(16, 0x0800);
    r.put16(18, 0x0010);
    r.put16(20, 0x0004);
    r.put16(22, 0x0000);
    EXPECT_EQ(dm(0x080d, r.data()),
              kLpHead + lines({"\tdm_policy =  02", "\tsniff_settings.max_interval =  800",
                               "\tsniff_settings.min_interval =  10", "\tsniff_settings.attempt =  04",
                               "\tsniff_settings.timeout =  00"}));
}

TEST(WriteLpSettings, ParkPrintsThreeSettingsLastOfFourBytes) {
    Guarded r = lp_settings(24, 3);
    r.put16(16, 0x1000);
    r.put16(18, 0x0200);
    r.put32(20, 0x12345678);
    EXPECT_EQ(dm(0x080d, r.data()),
              kLpHead + lines({"\tdm_policy =  03", "\tpark_settings.max_interval =  1000",
                               "\tpark_settings.min_interval =  200",
                               "\tpark_settings.park_idle_time =  12345678"}));
}

// Any other policy ends with the dm_policy line and reads nothing after it.
TEST(WriteLpSettings, OtherPoliciesEndAtPolicyLine) {
    for (std::uint8_t policy : {0x00, 0x01, 0x04, 0x82, 0xff}) {
        Guarded r = lp_settings(15, policy);
        EXPECT_EQ(dm(0x080d, r.data()), kLpHead + "\tdm_policy =  " + hex(policy) + "\n")
            << "dm_policy " << int(policy);
    }
}

// ---- Device names ------------------------------------------------------------------------------

struct NamePrim {
    std::uint16_t code;
    std::size_t array;  // offset of the eight name-part pointers
    std::string head;   // the lines before the name line
};

// The lines of each name primitive before its name line, with the fields the fixture writes.
NamePrim remote_name() {
    return {0x0429, 16,
            lines({"DM_HCI_REMOTE_NAME_COMPLETE_T", "\ttype =  429", "\tphandle =  02", "\tstatus =  00",
                   "\tBD_ADDR_T", "\t\tlap =  9e8b33", "\t\tuap =  5b", "\t\tnap =  02"})};
}
NamePrim local_name() {
    return {0x0c4b, 8,
            lines({"DM_HCI_READ_LOCAL_NAME_COMPLETE_T", "\ttype =  c4b", "\tphandle =  02",
                   "\tstatus =  00"})};
}

// A name primitive whose record ends after the pointer slots the rendering is allowed to read.
struct NameFixture {
    Guarded rec;
    std::vector<Guarded> fragments;
    Guarded poison{std::size_t{0}};  // no readable byte at all

    // `fragments` null (empty) or bytes; `slots` pointer slots are readable, those beyond the
    // given fragments address nothing readable.
    NameFixture(const NamePrim& np, std::uint16_t type, const std::vector<std::string>& fs, unsigned slots)
        : rec(record(np.array + 4 * slots)) {
        rec.put16(0, type);
        rec.put16(2, 0x0002);
        rec.put8(4, 0x00);
        if (np.code == 0x0429) put_bd(rec, 8, 0x9e8b33, 0x5b, 0x0002);
        fragments.reserve(fs.size());
        for (unsigned i = 0; i < slots; ++i) {
            if (i >= fs.size()) {
                rec.put32(np.array + 4 * i, poison.address());
            } else if (fs[i].empty()) {
                rec.put32(np.array + 4 * i, 0);
            } else {
                fragments.emplace_back(std::vector<std::uint8_t>(fs[i].begin(), fs[i].end()));
                rec.put32(np.array + 4 * i, fragments.back().address());
            }
        }
    }
};

struct NameCase {
    const char* what;
    std::vector<std::string> fragments;  // "" is a null pointer
    unsigned slots;                      // pointer slots that may be read
    std::string name;                    // what the name line shows
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

const std::string k32 = "abcdefghijklmnopqrstuvwxyz012345";

std::vector<NameCase> name_cases() {
    std::vector<std::string> full(7, k32);
    full.push_back("ABCDEFGHIJKLMNOPQRSTUVWX");  // fragment 7 filled to its 24 bytes
    std::string all248;
    for (const auto& f : full) all248 += f;
    return {
        {"Short", {std::string("hello\0", 6)}, 1, "hello"},
        {"ShortIgnoresFurtherPointers", {std::string("abc\0", 4), "never read"}, 1, "abc"},
        {"Exactly32ThenNull", {k32, ""}, 2, k32},
        {"Forty", {k32, std::string("ABCDEFGH\0", 9)}, 2, k32 + "ABCDEFGH"},
        {"All248", full, 8, all248},
        {"FirstNull", {""}, 1, ""},
        {"FirstBeginsWithZero", {std::string("\0xyz", 4)}, 1, ""},
        {"RawControlBytes", {std::string("a\tb\nc\0", 6)}, 1, "a\tb\nc"},
    };
}

class NamePrimitives
    : public ::testing::TestWithParam<std::tuple<bool, NameCase>> {};

TEST_P(NamePrimitives, EndWithTheNameLine) {
    const NamePrim np = std::get<0>(GetParam()) ? remote_name() : local_name();
    const NameCase& c = std::get<1>(GetParam());
    NameFixture f(np, np.code, c.fragments, c.slots);
    EXPECT_EQ(dm(np.code, f.rec.data()), np.head + "\tname_part = " + c.name + "\n");
}

INSTANTIATE_TEST_SUITE_P(Names, NamePrimitives,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(name_cases())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Remote" : "Local") +
                                    std::get<1>(info.param).what;
                         });

TEST(NamePrimitives, OwnTypeFieldNotANameCodeGivesUnknownLine) {
    const NamePrim np = remote_name();
    NameFixture f(np, 0x0000, {}, 0);
    std::string head = np.head;
    head.replace(head.find("\ttype =  429"), 12, "\ttype =  00");
    EXPECT_EQ(dm(0x0429, f.rec.data()), head + "Unknown customDebug Primitive type\n\n");
}

// ---- Every code: registry, decoding of random records ------------------------------------------

struct Row {
    std::uint16_t code;
    const char* name;
};
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

const std::vector<Row> kEvents = {
    {0x0424, "DM_HCI_INQUIRY_RESULT_T"},
    {0x0425, "DM_HCI_INQUIRY_COMPLETE_T"},
    {0x0426, "DM_HCI_LINK_KEY_CHANGE_COMPLETE_T"},
    {0x0427, "DM_HCI_RETURN_LINK_KEYS_T"},
    {0x0428, "DM_HCI_MASTER_LINK_KEY_COMPLETE_T"},
    {0x0429, "DM_HCI_REMOTE_NAME_COMPLETE_T"},
    {0x042a, "DM_HCI_READ_REMOTE_FEATURES_COMPLETE_T"},
    {0x042b, "DM_HCI_READ_REMOTE_VERSION_COMPLETE_T"},
    {0x042c, "DM_HCI_READ_CLOCK_OFFSET_COMPLETE_T"},
    {0x080d, "DM_HCI_WRITE_LP_SETTINGS_T"},
    {0x080f, "DM_HCI_MODE_CHANGE_EVENT_T"},
    {0x0810, "DM_HCI_QOS_SETUP_CFM_T"},
    {0x0811, "DM_HCI_QOS_VIOLATION_IND_T"},
    {0x0812, "DM_HCI_ROLE_DISCOVERY_COMPLETE_T"},
    {0x0813, "DM_HCI_SWITCH_ROLE_COMPLETE_T"},
    {0x0814, "DM_HCI_READ_LP_SETTINGS_COMPLETE_T"},
    {0x0815, "DM_HCI_WRITE_LP_SETTINGS_COMPLETE_T"},
    {0x0c40, "DM_HCI_SET_EVENT_MASK_COMPLETE_T"},
    {0x0c43, "DM_HCI_FLUSH_COMPLETE_T"},
    {0x0c44, "DM_HCI_READ_PIN_TYPE_COMPLETE_T"},
    {0x0c47, "DM_HCI_READ_STORED_LINK_KEY_COMPLETE_T"},
    {0x0c48, "DM_HCI_WRITE_STORED_LINK_KEY_COMPLETE_T"},
    {0x0c49, "DM_HCI_DELETE_STORED_LINK_KEY_COMPLETE_T"},
    {0x0c4b, "DM_HCI_READ_LOCAL_NAME_COMPLETE_T"},
    {0x0c4c, "DM_HCI_READ_CONN_ACCEPT_TO_COMPLETE_T"},
    {0x0c4e, "DM_HCI_READ_PAGE_TO_COMPLETE_T"},
    {0x0c50, "DM_HCI_READ_SCAN_ENABLE_COMPLETE_T"},
    {0x0c52, "DM_HCI_READ_PAGESCAN_ACTIVITY_COMPLETE_T"},
    {0x0c54, "DM_HCI_READ_INQUIRYSCAN_ACTIVITY_COMPLETE_T"},
    {0x0c56, "DM_HCI_READ_AUTH_ENABLE_COMPLETE_T"},
    {0x0c57, "DM_HCI_READ_ENCRYPTION_MODE_COMPLETE_T"},
    {0x0c58, "DM_HCI_READ_CLASS_OF_DEVICE_COMPLETE_T"},
    {0x0c5a, "DM_HCI_READ_VOICE_SETTING_COMPLETE_T"},
    {0x0c5c, "DM_HCI_READ_AUTO_FLUSH_COMPLETE_T"},
    {0x0c5d, "DM_HCI_WRITE_AUTO_FLUSH_COMPLETE_T"},
    {0x0c5e, "DM_HCI_READ_NUM_BCAST_TXS_COMPLETE_T"},
    {0x0c60, "DM_HCI_READ_HOLD_MODE_ACTIVITY_COMPLETE_T"},
    {0x0c62, "DM_HCI_READ_TX_POWER_LEVEL_COMPLETE_T"},
    {0x0c65, "DM_HCI_READ_LINK_SUPERV_TIMEOUT_COMPLETE_T"},
    {0x0c66, "DM_HCI_WRITE_LINK_SUPERV_TIMEOUT_COMPLETE_T"},
    {0x0c67, "DM_HCI_READ_NUM_SUPPORTED_IAC_COMPLETE_T"},
    {0x0c68, "DM_HCI_READ_CURRENT_IAC_LAP_COMPLETE_T"},
    {0x0c6a, "DM_HCI_READ_PAGESCAN_PERIOD_MODE_COMPLETE_T"},
    {0x0c6c, "DM_HCI_READ_PAGESCAN_MODE_COMPLETE_T"},
    {0x0c6e, "DM_HCI_HARDWARE_ERROR_T"},
    {0x0c6f, "DM_HCI_DATA_BUFFER_OVERFLOW_T"},
    {0x0c70, "DM_HCI_MAX_SLOTS_CHANGE_T"},
    {0x100b, "DM_HCI_READ_LOCAL_VERSION_COMPLETE_T"},
    {0x100c, "DM_HCI_READ_LOCAL_FEATURES_COMPLETE_T"},
    {0x100d, "DM_HCI_READ_COUNTRY_CODE_COMPLETE_T"},
    {0x100e, "DM_HCI_READ_BD_ADDR_COMPLETE_T"},
    {0x1407, "DM_HCI_FAILED_CONTACT_COUNTER_COMPLETE_T"},
    {0x1408, "DM_HCI_RESET_CONTACT_COUNTER_COMPLETE_T"},
    {0x1409, "DM_HCI_GET_LINK_QUALITY_COMPLETE_T"},
    {0x140a, "DM_HCI_READ_RSSI_COMPLETE_T"},
};

TEST(HciEventsRegistry, ExactlyTheseCodesEachWithItsOwnDecoder) {
    ASSERT_EQ(kEvents.size(), 55u);
    std::set<std::uint16_t> expected;
    for (const Row& row : kEvents) {
        expected.insert(row.code);
        const auto* info = riz::detail::find_primitive(riz::test::Interface::dm, row.code);
        ASSERT_NE(info, nullptr) << hex(row.code);
        EXPECT_STREQ(info->name, row.name) << hex(row.code);
    }
    // Every DM_HCI_ row but the shared status-only completion belongs to this family.
    std::set<std::uint16_t> found;
    for (const auto& info : riz::detail::primitives(riz::test::Interface::dm)) {
        const std::string name = info.name;
        if (name.rfind("DM_HCI_", 0) == 0 && name != "DM_HCI_STANDARD_COMMAND_COMPLETE_T")
            found.insert(info.code);
    }
    EXPECT_EQ(found, expected);
}

// The furthest byte read, for the records that carry pointers or a hand-written rendering.
TEST(HciEventsRegistry, RecordSizes) {
    const std::vector<std::pair<std::uint16_t, unsigned>> sizes = {
        {0x0424, 32}, {0x0427, 48}, {0x0429, 48}, {0x0c4b, 40},
        {0x0c68, 32}, {0x080d, 24}, {0x0810, 36}, {0x100c, 13},
    };
    for (const auto& [code, size] : sizes)
        EXPECT_EQ(riz::detail::find_primitive(riz::test::Interface::dm, code)->size, size) << hex(code);
}

class HciEventSweep : public ::testing::TestWithParam<Row> {};

// A record of exactly its size with random contents (its own type field set to its code, so
// names and walks take their real paths); every pointer it holds is served random bytes.
TEST_P(HciEventSweep, RandomRecordDecodesWithoutFault) {
    riz::test::expect_random_records_decode(riz::test::Interface::dm, {GetParam().code},
                                            {.seeds = 16, .own_type = true, .type_lines = {}});
}

INSTANTIATE_TEST_SUITE_P(EveryCode, HciEventSweep, ::testing::ValuesIn(kEvents),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
