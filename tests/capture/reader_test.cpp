// The capture reader, as a table: capture text -> the entries and messages read from it. Every
// row is read twice, by CaptureReader from a stream and by CaptureParser from the text cut into
// pieces at each entry line (as rizorod cuts its inputs), and both must give the row's items.
#include <gtest/gtest.h>

#include <cstdio>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "capture/capture.h"

using rizorod::CaptureParser;
using rizorod::CaptureReader;
using rizorod::Entry;
using rizorod::Problem;
using Lines = std::vector<std::string>;

namespace {

// "3: dm 0x2004 2024-05-01 14:03:27.045 record 0420 image 1/8" (1 block, 8 bytes), "5! message".
std::string summary(const Entry& e) {
    char text[96];
    std::snprintf(text, sizeof text, "%zu: %s 0x%04x", e.line, rizorod::interface_name(e.iface), e.code);
    std::string s = text;
    if (e.stamp && e.stamp->year) {
        std::snprintf(text, sizeof text, " %04u-%02u-%02u", unsigned{*e.stamp->year}, unsigned{e.stamp->month},
                      unsigned{e.stamp->day});
        s += text;
    }
    if (e.stamp) s.append(" ").append(e.stamp->time_of_day());
    s += " record ";
    for (auto b : e.record) {
        std::snprintf(text, sizeof text, "%02x", b);
        s += text;
    }
    return s + " image " + std::to_string(e.image.blocks()) + "/" + std::to_string(e.image.byte_count());
}

Lines read_stream(std::istream& in, bool* failed = nullptr) {
    CaptureReader reader(in);
    Lines out;
    Entry entry;
    Problem problem;
    for (CaptureReader::Item item; (item = reader.next(entry, problem)) != CaptureReader::Item::end;)
        out.push_back(item == CaptureReader::Item::entry ? summary(entry)
                                                         : std::to_string(problem.line) + "! " + problem.message);
    if (failed) *failed = reader.failed();
    return out;
}

// The text cut before every entry line but the first, each piece read on its own.
Lines read_pieces(const std::string& text) {
    Lines out;
    Entry entry;
    Problem problem;
    CaptureParser parser;
    std::size_t line_no = 1;
    std::vector<std::string_view> piece;
    const auto flush = [&](std::size_t first) {
        parser.reset(first);
        for (std::string_view line : piece) {
            for (;;) {
                const auto step = parser.line(line, entry, problem);
                if (step == CaptureParser::Step::problem) out.push_back(std::to_string(problem.line) + "! " + problem.message);
                if (step != CaptureParser::Step::entry) break;
                out.push_back(summary(entry));
            }
        }
        if (parser.finish()) out.push_back(summary(entry));
        piece.clear();
    };
    std::size_t first = 1;
    for (std::size_t pos = 0; pos < text.size(); ++line_no) {
        const std::size_t nl = std::min(text.find('\n', pos), text.size());
        const std::string_view line(text.data() + pos, nl - pos);
        if (line_no > 1 && CaptureParser::starts_entry(line)) {
            flush(first);
            first = line_no;
        }
        piece.push_back(line);
        pos = nl + 1;
    }
    flush(first);
    return out;
}

struct Row {
    const char* capture;
    Lines items;
};

class Reading : public testing::TestWithParam<Row> {};

TEST_P(Reading, GivesTheRowsItemsFromAStreamAndFromPieces) {
    std::istringstream in(GetParam().capture);
    bool failed = true;
    EXPECT_EQ(read_stream(in, &failed), GetParam().items);
    EXPECT_FALSE(failed);
    EXPECT_EQ(read_pieces(GetParam().capture), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(Capture, Reading, testing::Values(
    Row{"# comment, blank line, line of blanks\n\n \t \n"
        "14:03:27.045 dm 04 20 1a 00\n"
        "2024-05-01 14:03:27.046 l2cap 0x0004 0407004000000000\n"
        "2024-02-29T23:59:60.999 rfcomm 1200 0100\n"
        "sdp 0x000d\n"
        "  dm 0X2C0B AB cd  # comment after the bytes\n"
        "dm 0x9 0900\n"
        "dm 0x2009 0920\n@00203000 28 00 03 00\n  @0x00203004: 2900 0100\n@203008:2a000000 # colon\n\t@00300000 ff\n"
        "l2cap 0x0003\r\n@10 ee\r\n",
        {"4: dm 0x2004 14:03:27.045 record 04201a00 image 0/0",
         "5: l2cap 0x0004 2024-05-01 14:03:27.046 record 0407004000000000 image 0/0",
         "6: rfcomm 0x0012 2024-02-29 23:59:60.999 record 12000100 image 0/0", "7: sdp 0x000d record  image 0/0",
         "8: dm 0x2c0b record abcd image 0/0", "9: dm 0x0009 record 0900 image 0/0",
         "10: dm 0x2009 record 0920 image 2/13", "15: l2cap 0x0003 record  image 1/1"}},
    // A byte-order mark at the start is passed over; anywhere else it is an unknown word.
    Row{"\xef\xbb\xbf" "dm 0420\n\xef\xbb\xbf" "dm 0420\n",
        {"1: dm 0x2004 record 0420 image 0/0", "2! expected an interface (dm, l2cap, rfcomm or sdp), found \"\\xef\\xbb\\xbfdm\""}},
    Row{"# memory first\n@00203000 00\n@00203001 01\n\nsdp 0b00a002\n",
        {"2! expected an entry line before this memory line, found none", "5: sdp 0x000b record 0b00a002 image 0/0"}},
    Row{"hci 0420\n@00203000 00\n@00203000 00\nbad\n@1 00\ndm 0420\n@2 01\n",
        {"1! expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"",
         "4! expected an interface (dm, l2cap, rfcomm or sdp), found \"bad\"", "6: dm 0x2004 record 0420 image 1/1"}},
    Row{"dm 0420\n@00203000 00 01\ndm 0420\n@00203000 02 03\n",
        {"1: dm 0x2004 record 0420 image 1/2", "3: dm 0x2004 record 0420 image 1/2"}},
    // Memory in descending pieces joins; an overlap drops the entry at the later line.
    Row{"dm 0420\n@12 02\n@11 01\n@10 00 # joined\ndm 0420\n@10 0001\n@13 00\n@11 00\n@20 00\nsdp 0b00\n",
        {"1: dm 0x2004 record 0420 image 1/3",
         "8! expected memory that no earlier line of the entry gave, found 0x00000011..0x00000011, which overlaps 0x00000010..0x00000011",
         "10: sdp 0x000b record 0b00 image 0/0"}},
    Row{"", {}}, Row{"# nothing but comments\n\n", {}}));

// A bad line between two good entries: one message at its line, its memory lines passed over.
struct BadLine {
    const char* line;
    const char* message;
};

class BadEntryLine : public testing::TestWithParam<BadLine> {};

TEST_P(BadEntryLine, GivesOneMessageAndReadingGoesOn) {
    const std::string capture = std::string("sdp 0b00a002\n") + GetParam().line + "\n@00203000 00\n@00203001 01\nrfcomm 12000100\n";
    const Lines expected{"1: sdp 0x000b record 0b00a002 image 0/0", std::string("2! ") + GetParam().message,
                         "5: rfcomm 0x0012 record 12000100 image 0/0"};
    std::istringstream in(capture);
    EXPECT_EQ(read_stream(in), expected);
    EXPECT_EQ(read_pieces(capture), expected);
}

INSTANTIATE_TEST_SUITE_P(Capture, BadEntryLine, testing::Values(
    BadLine{"dm 04 20 1", "expected record bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\""},
    BadLine{"dm 04201", "expected record bytes as pairs of hexadecimal digits, found an odd number of digits in \"04201\""},
    BadLine{"dm 04 2g", "expected record bytes in hexadecimal, found \"2g\""},
    BadLine{"dm 0x2004 0x04", "expected record bytes in hexadecimal, found \"0x04\""},
    BadLine{"hci 04 20", "expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\""},
    BadLine{"DM 04 20", "expected an interface (dm, l2cap, rfcomm or sdp), found \"DM\""},
    BadLine{"0420 1a00", "expected an interface (dm, l2cap, rfcomm or sdp), found \"0420\""},
    BadLine{"14:03:27.045", "expected an interface (dm, l2cap, rfcomm or sdp), found the end of the line"},
    BadLine{"14:3:27.045 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"14:3:27.045\""},
    BadLine{"24:00:00.000 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"24:00:00.000\""},
    BadLine{"14:03:27.0451 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"14:03:27.0451\""},
    BadLine{"2023-02-29 14:03:27.045 dm 0420", "expected a date YYYY-MM-DD, found \"2023-02-29\""},
    BadLine{"2024-13-01T14:03:27.045 dm 0420", "expected a date YYYY-MM-DD, found \"2024-13-01\""},
    BadLine{"2024-05-01 dm 0420", "expected a time of day HH:MM:SS.mmm after the date, found \"dm\""},
    BadLine{"2024-05-01", "expected a time of day HH:MM:SS.mmm after the date, found the end of the line"},
    BadLine{"dm 0x12345 00", "expected a type code 0x0000 to 0xffff, found \"0x12345\""},
    BadLine{"dm 0x 0420", "expected a type code 0x0000 to 0xffff, found \"0x\""},
    BadLine{"dm 0x20g4 0420", "expected a type code 0x0000 to 0xffff, found \"0x20g4\""},
    BadLine{"dm", "expected a type code or at least 2 record bytes to take it from, found none"},
    BadLine{"dm 04 # the rest was lost", "expected a type code or at least 2 record bytes to take it from, found 1 byte"},
    BadLine{"dm 04 \"q\\\x07\"", "expected record bytes in hexadecimal, found \"\\\"q\\\\\\x07\\\"\""},
    BadLine{"dm 00 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaz", "expected record bytes in hexadecimal, found \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...\""}));

// A bad memory line drops its entry with one message; the entry's later memory lines are passed
// over and the next entry is read as usual.
class BadMemoryLine : public testing::TestWithParam<BadLine> {};

TEST_P(BadMemoryLine, DropsItsEntryWithOneMessage) {
    const std::string capture = std::string("dm 0x2009 0920\n@00203000 00010203\n") + GetParam().line + "\n@00204000 00\nl2cap 0b00\n";
    const Lines expected{std::string("3! ") + GetParam().message, "5: l2cap 0x000b record 0b00 image 0/0"};
    std::istringstream in(capture);
    EXPECT_EQ(read_stream(in), expected);
    EXPECT_EQ(read_pieces(capture), expected);
}

INSTANTIATE_TEST_SUITE_P(Capture, BadMemoryLine, testing::Values(
    BadLine{"@00203004 1", "expected memory bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\""},
    BadLine{"@00203004 zz", "expected memory bytes in hexadecimal, found \"zz\""},
    BadLine{"@00202fff 0405", "expected memory that no earlier line of the entry gave, found 0x00202fff..0x00203000, which overlaps 0x00203000..0x00203003"},
    BadLine{"@00203003 04", "expected memory that no earlier line of the entry gave, found 0x00203003..0x00203003, which overlaps 0x00203000..0x00203003"},
    BadLine{"@00203004: # nothing here", "expected memory bytes after the address, found none"},
    BadLine{"@zz 00", "expected a memory address of 1 to 8 hexadecimal digits after '@', found \"zz\""},
    BadLine{"@123456789 00", "expected a memory address of 1 to 8 hexadecimal digits after '@', found \"123456789\""},
    BadLine{"@", "expected a memory address of 1 to 8 hexadecimal digits after '@', found nothing"},
    BadLine{"@fffffffe 000102", "expected memory that ends by address 0xffffffff, found 3 bytes at 0xfffffffe running to 0x100000000"}));

TEST(CaptureParser, MemoryAfterAPauseHasAMessageOfItsOwn) {
    CaptureParser parser(7, CaptureParser::Start::resumed);
    Entry entry;
    Problem problem;
    EXPECT_EQ(parser.line("@10 00", entry, problem), CaptureParser::Step::problem);
    EXPECT_EQ(problem.line, 7u);
    EXPECT_EQ(problem.message, "expected the memory lines of an entry before the input paused, found this one after the pause");
    EXPECT_EQ(parser.line("@11 00", entry, problem), CaptureParser::Step::more);
}

TEST(CaptureParser, TimestampsAndCodesAsEntryLinesGiveThem) {
    EXPECT_EQ(rizorod::parse_timestamp("2024-02-29T23:59:60.999")->time_of_day(), "23:59:60.999");
    EXPECT_EQ(rizorod::parse_timestamp("2024-02-29 00:00:00.001")->day, 29);
    EXPECT_EQ(rizorod::parse_type_code("0xC4a"), 0x0c4a);
    for (const char* bad : {"garbage", "25:00:00.000", "2023-02-29T00:00:00.000", "00:00:00.000 dm", ""})
        EXPECT_FALSE(rizorod::parse_timestamp(bad)) << bad;
    for (const char* bad : {"2004", "0x", "0x12345", "0x0c4a 4a", "0xg"}) EXPECT_FALSE(rizorod::parse_type_code(bad)) << bad;
}

// A stream buffer that gives `text` and then fails, as a file's buffer does when reading fails.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string text, bool fail) : text_(std::move(text)), fail_(fail) {}

protected:
    int_type underflow() override {
        if (given_ && fail_) throw std::ios_base::failure("reading failed");
        if (given_) return traits_type::eof();
        given_ = true;
        setg(text_.data(), text_.data(), text_.data() + text_.size());
        return traits_type::to_int_type(text_[0]);
    }

private:
    std::string text_;
    bool fail_, given_ = false;
};

// Whatever the caller's exception mask, the end of the input is an end and a read error is an
// error, reported after the entries before it; the mask is left as it was.
TEST(CaptureReader, ReadErrorsAndEndsWhateverTheStreamsExceptionMask) {
    for (const bool fail : {false, true}) {
        for (const std::ios::iostate mask : {std::ios::goodbit, std::ios::badbit, std::ios::failbit | std::ios::eofbit}) {
            FailingBuffer buffer("dm 00 00 01 00\n", fail);
            std::istream in(&buffer);
            in.exceptions(mask);
            bool failed = false;
            EXPECT_EQ(read_stream(in, &failed), Lines{"1: dm 0x0000 record 00000100 image 0/0"});
            EXPECT_EQ(failed, fail) << mask;
            EXPECT_EQ(in.exceptions(), mask);
        }
    }
}

}  // namespace
