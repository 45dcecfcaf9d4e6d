// The capture reader: every kind of line, every kind of bad line with its message and line
// number, and reading going on after each.
#include <gtest/gtest.h>

#include <cstdio>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture.h"

using rizorod::CaptureReader;
using rizorod::Entry;
using rizorod::Problem;

namespace {

std::string hex_of(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (auto b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// One line per entry or problem, e.g.
//   "3: dm 0x2004 14:03:27.045 record 0420 image 1/8"  (1 block, 8 bytes)
//   "5! expected ..."
std::vector<std::string> read_all(const std::string& capture) {
    std::istringstream in(capture);
    CaptureReader reader(in);
    std::vector<std::string> out;
    Entry entry;
    Problem problem;
    for (;;) {
        const auto item = reader.next(entry, problem);
        if (item == CaptureReader::Item::end) break;
        if (item == CaptureReader::Item::problem) {
            out.push_back(std::to_string(problem.line) + "! " + problem.message);
            continue;
        }
        char code[8];
        std::snprintf(code, sizeof code, "0x%04x", entry.code);
        std::string s = std::to_string(entry.line) + ": " + rizorod::interface_name(entry.iface) + " " + code;
        if (entry.stamp) {
            if (entry.stamp->year) {
                char date[16];
                std::snprintf(date, sizeof date, "%04u-%02u-%02u ", unsigned{*entry.stamp->year},
                              unsigned{entry.stamp->month}, unsigned{entry.stamp->day});
                s += ' ';
                s += date;
            } else {
                s += ' ';
            }
            s += entry.stamp->time_of_day();
        }
        s += " record " + hex_of(entry.record);
        s += " image " + std::to_string(entry.image.blocks()) + "/" + std::to_string(entry.image.byte_count());
        out.push_back(s);
    }
    EXPECT_FALSE(reader.failed());
    return out;
}

using Lines = std::vector<std::string>;

TEST(CaptureReader, EveryKindOfGoodLine) {
    const std::string capture =
        "# A comment line, then a blank line and a line of blanks\n"
        "\n"
        " \t \n"
        "14:03:27.045 dm 04 20 1a 00\n"                      // time of day, code from the bytes
        "2024-05-01 14:03:27.046 l2cap 0x0004 0407004000000000\n"  // date and time, code given
        "2024-02-29T23:59:60.999 rfcomm 1200 0100\n"         // joined date and time, leap day and second
        "sdp 0x000d\n"                                        // no stamp, no bytes
        "  dm 0X2C0B AB cd  # a comment after the bytes\n"    // indented, upper-case digits
        "dm 0x9 0900\n"                                       // a short code
        "dm 0x2009 0920 0100 0100 0000 00302000\n"
        "@00203000 28 00 03 00\n"                             // memory: joined into one block
        "  @0x00203004: 2900 0100\n"
        "@203008:2a000000 # the colon may touch the bytes\n"
        "\t@00300000 ff\n"                                    // a second block
        "l2cap 0x0003\r\n"                                    // a line ending in CR LF
        "@10 ee\r\n";
    EXPECT_EQ(read_all(capture),
              (Lines{"4: dm 0x2004 14:03:27.045 record 04201a00 image 0/0",
                     "5: l2cap 0x0004 2024-05-01 14:03:27.046 record 0407004000000000 image 0/0",
                     "6: rfcomm 0x0012 2024-02-29 23:59:60.999 record 12000100 image 0/0",
                     "7: sdp 0x000d record  image 0/0",
                     "8: dm 0x2c0b record abcd image 0/0",
                     "9: dm 0x0009 record 0900 image 0/0",
                     "10: dm 0x2009 record 092001000100000000302000 image 2/13",
                     "15: l2cap 0x0003 record  image 1/1"}));
}

TEST(CaptureReader, TheImageHoldsTheBytesAtTheirAddresses) {
    std::istringstream in("dm 0x2009 00\n@00203000 28 00 03 00\n@00203004 2900\n@00300000 ff\n");
    CaptureReader reader(in);
    Entry entry;
    Problem problem;
    ASSERT_EQ(reader.next(entry, problem), CaptureReader::Item::entry);
    const auto at = entry.image.at(0x00203002);
    EXPECT_EQ(std::vector<std::uint8_t>(at.begin(), at.end()),
              (std::vector<std::uint8_t>{0x03, 0x00, 0x29, 0x00}));
    EXPECT_EQ(entry.image.at(0x00300000).size(), 1u);
    EXPECT_EQ(reader.next(entry, problem), CaptureReader::Item::end);
    EXPECT_EQ(reader.lines(), 4u);
}

struct BadLine {
    const char* line;
    const char* message;
};

class BadEntryLine : public testing::TestWithParam<BadLine> {};

// Each bad line stands between two good entries; it gets one message with its line number, and
// the entries around it are read as usual.
TEST_P(BadEntryLine, GivesOneMessageAndReadingGoesOn) {
    const std::string capture = std::string("sdp 0b00a002\n") + GetParam().line +
                                "\n@00203000 00\n@00203001 01\nrfcomm 12000100\n";
    EXPECT_EQ(read_all(capture), (Lines{"1: sdp 0x000b record 0b00a002 image 0/0",
                                        std::string("2! ") + GetParam().message,
                                        "5: rfcomm 0x0012 record 12000100 image 0/0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Capture, BadEntryLine,
    testing::Values(
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
        BadLine{"14:03:27 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"14:03:27\""},
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
        BadLine{"dm 04 \"quoted\\\"", "expected record bytes in hexadecimal, found \"\\\"quoted\\\\\\\"\""}));

class BadMemoryLine : public testing::TestWithParam<BadLine> {};

// A bad memory line drops its entry with one message; the entry's later memory lines are passed
// over and the next entry is read as usual.
TEST_P(BadMemoryLine, DropsItsEntryWithOneMessage) {
    const std::string capture = std::string("dm 0x2009 0920\n@00203000 00010203\n") + GetParam().line +
                                "\n@00204000 00\nl2cap 0b00\n";
    EXPECT_EQ(read_all(capture),
              (Lines{std::string("3! ") + GetParam().message, "5: l2cap 0x000b record 0b00 image 0/0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Capture, BadMemoryLine,
    testing::Values(
        BadLine{"@00203004 1", "expected memory bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\""},
        BadLine{"@00203004 zz", "expected memory bytes in hexadecimal, found \"zz\""},
        BadLine{"@00203002 0405", "expected memory that no earlier line of the entry gave, found 0x00203002..0x00203003, which overlaps 0x00203000..0x00203003"},
        BadLine{"@00202fff 0405", "expected memory that no earlier line of the entry gave, found 0x00202fff..0x00203000, which overlaps 0x00203000..0x00203003"},
        BadLine{"@00203000 04", "expected memory that no earlier line of the entry gave, found 0x00203000..0x00203000, which overlaps 0x00203000..0x00203003"},
        BadLine{"@00203004", "expected memory bytes after the address, found none"},
        BadLine{"@00203004: # nothing here", "expected memory bytes after the address, found none"},
        BadLine{"@zz 00", "expected a memory address of 1 to 8 hexadecimal digits after '@', found \"zz\""},
        BadLine{"@123456789 00", "expected a memory address of 1 to 8 hexadecimal digits after '@', found \"123456789\""},
        BadLine{"@", "expected a memory address of 1 to 8 hexadecimal digits after '@', found nothing"},
        BadLine{"@fffffffe 000102", "expected memory that ends by address 0xffffffff, found 3 bytes at 0xfffffffe running to 0x100000000"}));

TEST(CaptureReader, MemoryLinesBeforeAnyEntryGiveOneMessage) {
    EXPECT_EQ(read_all("# memory first\n@00203000 00\n@00203001 01\n\nsdp 0b00a002\n"),
              (Lines{"2! expected an entry line before this memory line, found none",
                     "5: sdp 0x000b record 0b00a002 image 0/0"}));
}

TEST(CaptureReader, MemoryLinesOfABadEntryArePassedOverQuietly) {
    EXPECT_EQ(read_all("hci 0420\n@00203000 00\n@00203000 00\nbad\n@1 00\ndm 0420\n@2 01\n"),
              (Lines{"1! expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"",
                     "4! expected an interface (dm, l2cap, rfcomm or sdp), found \"bad\"",
                     "6: dm 0x2004 record 0420 image 1/1"}));
}

TEST(CaptureReader, EveryEntryStartsWithAnEmptyImage) {
    EXPECT_EQ(read_all("dm 0420\n@00203000 00 01\ndm 0420\n@00203000 02 03\n"),
              (Lines{"1: dm 0x2004 record 0420 image 1/2", "3: dm 0x2004 record 0420 image 1/2"}));
}

TEST(CaptureReader, LongRecordsAndBlocksAreReadWhole) {
    // A 65535-byte block given on one line, and a record of 300 bytes.
    std::string capture = "l2cap 0x000b " + std::string(600, 'a') + "\n@00400000 ";
    for (int i = 0; i < 65535; ++i) capture += "5a";
    capture += "\n";
    EXPECT_EQ(read_all(capture), (Lines{"1: l2cap 0x000b record " + std::string(600, 'a') + " image 1/65535"}));
}

TEST(CaptureReader, AnEmptyCaptureHasNoEntries) {
    EXPECT_EQ(read_all(""), Lines{});
    EXPECT_EQ(read_all("# nothing but comments\n\n"), Lines{});
}

// A stream buffer that gives `text` and then fails, as a file's buffer does when reading fails.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {}

protected:
    int_type underflow() override {
        if (given_) throw std::ios_base::failure("reading failed");
        given_ = true;
        setg(text_.data(), text_.data(), text_.data() + text_.size());
        return traits_type::to_int_type(text_[0]);
    }

private:
    std::string text_;
    bool given_ = false;
};

TEST(CaptureReader, AReadErrorEndsReadingAndIsReported) {
    for (const std::ios::iostate mask : {std::ios::goodbit, std::ios::badbit}) {
        FailingBuffer buffer("dm 00 00 01 00\n");
        std::istream in(&buffer);
        in.exceptions(mask);
        CaptureReader reader(in);
        Entry entry;
        Problem problem;
        EXPECT_EQ(reader.next(entry, problem), CaptureReader::Item::entry);
        EXPECT_EQ(entry.line, 1u);
        EXPECT_EQ(reader.next(entry, problem), CaptureReader::Item::end);
        EXPECT_TRUE(reader.failed());
        EXPECT_EQ(reader.lines(), 1u);
        EXPECT_EQ(in.exceptions(), mask) << "the stream's own exception mask is left as it was";
    }
}

}  // namespace
