// The line grammar: field lines, indentation, one-line mode, the header line and its stamp.
#include <gtest/gtest.h>

#include <cstring>

#include "core/seams.h"
#include "core/writer.h"
#include "support/decode.h"

namespace {
using A = RizOrodOzidoTestAccess;
using riz::test::Guarded;

struct FieldCase {
    int depth;
    const char* label;
    std::uint32_t value;
    const char* expected;
};

class FieldLine : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldLine, MatchesTheFormattedPrinter) {
    RizOrodOzido d;
    A::mode(d) = 0;
    std::string buf = "x";
    A::add_field(d, GetParam().depth, GetParam().label, buf, GetParam().value);
    EXPECT_EQ(buf, std::string("x") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FieldLine,
    ::testing::Values(FieldCase{1, "phandle = ", 0x1a, "\tphandle =  1a\n"},
                      FieldCase{1, "in_mtu = ", 0x02a0, "\tin_mtu =  2a0\n"},
                      FieldCase{1, "channel = ", 0x10000, "\tchannel =  10000\n"},
                      FieldCase{1, "status = ", 0x05, "\tstatus =  05\n"},
                      FieldCase{1, "status = ", 0, "\tstatus =  00\n"},
                      FieldCase{1, "x = ", 0xffffffff, "\tx =  ffffffff\n"},
                      FieldCase{1, "x = ", 0x80000000, "\tx =  80000000\n"},
                      FieldCase{0, "x = ", 0xf, "x =  0f\n"},
                      FieldCase{-2, "x = ", 0x100, "x =  100\n"},
                      FieldCase{3, "", 0xab, "\t\t\t ab\n"}));

TEST(FieldLine, OneLineModeDropsTheNewlineAndTheNextLineFollowsDirectly) {
    RizOrodOzido d;
    A::mode(d) = 1;
    std::string buf;
    A::add_field(d, 0, "", buf, 0x01);
    A::add_field(d, 0, "", buf, 0xff);
    EXPECT_EQ(buf, " 01 ff");
}

TEST(FieldLine, LabelTooLongForTheWorkAreaIsCutLikeTheFormattedPrinter) {
    RizOrodOzido d;
    A::mode(d) = 0;
    const std::string label(95, 'a');
    std::string buf;
    A::add_field(d, 1, label.c_str(), buf, 0x1234);
    // 99 characters fit beside the terminating zero: 95 label, blank, "123".
    EXPECT_EQ(buf, "\t" + label + " 123");
}

TEST(Indent, TabsOnlyForPositiveDepths) {
    RizOrodOzido d;
    std::string buf;
    A::add_indent(d, 0, buf);
    A::add_indent(d, -3, buf);
    EXPECT_EQ(buf, "");
    A::add_indent(d, 3, buf);
    EXPECT_EQ(buf, "\t\t\t");
    A::add_str(d, 2, "NAME\n", buf);
    EXPECT_EQ(buf, "\t\t\t\t\tNAME\n");
}

TEST(Header, PinnedReadingGivesLocalTimeToTheMillisecond) {
#if defined(_WIN32)
    _putenv_s("TZ", "UTC0");
    _tzset();
#else
    setenv("TZ", "UTC", 1);
    tzset();
#endif
    RizOrodOzido d;
    std::string buf;
    {
        riz::detail::ScopedTime pin({1700000000, 45});  // 2023-11-14 22:13:20 UTC
        A::start_prim(d, buf);
    }
    EXPECT_EQ(buf, "---- 22:13:20.045 ------------------\n");
    EXPECT_EQ(buf.size(), 37u);
}

TEST(Header, FailedConversionGivesTheFallbackStampOfTheSameLength) {
    RizOrodOzido d;
    std::string buf;
    {
        riz::detail::ScopedTime pin({INT64_MAX, 7});
        A::start_prim(d, buf);
    }
    EXPECT_EQ(buf, "---- ??:??:??.??? ------------------\n");
    EXPECT_EQ(buf.size(), 37u);
}

TEST(Header, WallClockStampIsWellFormed) {
    RizOrodOzido d;
    std::string buf;
    A::start_prim(d, buf);
    EXPECT_EQ(riz::test::body(buf), "");
}

TEST(Header, PinnedStampTextIsShownAsGiven) {
    RizOrodOzido d;
    std::string buf;
    static const char stamp[] = "14:03:27.512";
    riz::detail::ScopedStamp pin(stamp, 12);
    A::start_prim(d, buf);
    EXPECT_EQ(buf, "---- 14:03:27.512 ------------------\n");
}

TEST(BdAddr, NestedAtDepthOneAndAtTopLevel) {
    RizOrodOzido d;
    A::mode(d) = 0;
    Guarded addr({0x56, 0x34, 0x12, 0x00, 0x78, 0xee, 0xbc, 0x9a});  // byte 5 is a gap
    std::string buf;
    A::bd_addr(d, 1, addr.data(), buf);
    EXPECT_EQ(buf, "\tBD_ADDR_T\n\t\tlap =  123456\n\t\tuap =  78\n\t\tnap =  9abc\n");
    buf.clear();
    A::bd_addr(d, 0, addr.data(), buf);
    EXPECT_EQ(riz::test::body(buf), "BD_ADDR_T\n\tlap =  123456\n\tuap =  78\n\tnap =  9abc\n");
}

struct FormatterCase {
    const char* formatter;
    std::vector<std::uint8_t> bytes;  // exactly what the formatter may read
    const char* expected;
};

class Formatter : public ::testing::TestWithParam<FormatterCase> {};

TEST_P(Formatter, ReadsItsWidthAndPrintsZeroExtendedHex) {
    RizOrodOzido d;
    A::mode(d) = 0;
    Guarded field(GetParam().bytes);
    std::string buf;
    (d.*A::formatter(GetParam().formatter))(1, field.data(), buf, "v = ");
    EXPECT_EQ(buf, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllFormatters, Formatter,
    ::testing::Values(FormatterCase{"debug_uint8_t", {0x05}, "\tv =  05\n"},
                      FormatterCase{"debug_bool_t", {0x02}, "\tv =  02\n"},
                      FormatterCase{"debug_int8_t", {0xff}, "\tv =  ff\n"},
                      FormatterCase{"debug_uint16_t", {0xa0, 0x02}, "\tv =  2a0\n"},
                      FormatterCase{"debug_enum", {0x34, 0x12}, "\tv =  1234\n"},
                      FormatterCase{"debug_uint32_t", {0x00, 0x00, 0x01, 0x00}, "\tv =  10000\n"},
                      FormatterCase{"debug_int32_t", {0xff, 0xff, 0xff, 0xff}, "\tv =  ffffffff\n"},
                      FormatterCase{"debug_uint24_t", {0x33, 0x8b, 0x9e, 0x01}, "\tv =  19e8b33\n"},
                      FormatterCase{"debug_ptr", {}, ""}));

TEST(ByteRun, OneLineOfBlankAndTwoDigitsPerByte) {
    Guarded data({0x01, 0x02, 0xff});
    Guarded field(4);
    field.put32(0, data.address());
    std::string buf;
    riz::detail::byte_run(buf, 0, 3, field.data());
    EXPECT_EQ(buf, " 01 02 ff\n");
}

TEST(ByteRun, CountZeroIsAnEmptyLineAndTheFieldIsNotRead) {
    std::string buf;
    riz::detail::byte_run(buf, 0, 0, nullptr);
    EXPECT_EQ(buf, "\n");
}

TEST(ByteRun, LongestRunStaysOnOneLine) {
    Guarded data(65535);
    std::memset(data.data(), 0xa5, 65535);
    Guarded field(4);
    field.put32(0, data.address());
    std::string buf;
    riz::detail::byte_run(buf, 0, 65535, field.data());
    ASSERT_EQ(buf.size(), 3u * 65535 + 1);
    EXPECT_EQ(buf.substr(0, 6), " a5 a5");
    EXPECT_EQ(buf.find('\n'), buf.size() - 1);
}
}  // namespace
