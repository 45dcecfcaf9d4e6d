// SPDX-License-Identifier: Apache-2.0
// The capture reader, as a table: capture text -> the entries and messages read from it. (That
// the text cut into pieces at entry lines reads the same is checked by the capture fuzzer on
// every input, and end to end by the tool's checks.)
#include <gtest/gtest.h>

#include <cstdio>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

using rizorod::CaptureReader;
using rizorod::Entry;
using rizorod::Problem;
using Lines = std::vector<std::string>;

namespace {

// "3: dm 0x2004 2024-05-01 14:03:27.045 0420 1/8" (an of 1 block, 8 bytes), "5! message".
std::string summary(const Entry& e) {
    char text[64];
    std::snprintf(text, sizeof text, "%zu: %s 0x%04x ", e.line, rizorod::interface_name(e.iface), e.code);
    std::string s = text;
    if (e.stamp && e.stamp->year) s += e.stamp->date_text() + " ";
    if (e.stamp) s.append(e.stamp->time_of_day()).append(" ");
    for (auto b : e.record) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
    return s + " " + std::to_string(e.image.block_count()) + "/" + std::to_string(e.image.byte_count());
}

Lines read_stream(std::istream& in, bool* failed = nullptr) {
    CaptureReader reader(in);
    Lines out;
    Entry entry;
    Problem problem;
    for (CaptureReader::Item item; (item = reader.next(entry, problem)) != CaptureReader::Item::end;)
        out.push_back(item == CaptureReader::Item::entry ? summary(entry) : std::to_string(problem.line) + "! " + problem.message);
    if (failed) *failed = reader.failed();
    return out;
}

Lines read_text(const std::string& text) {
    std::istringstream in(text);
    bool failed = true;
    Lines out = read_stream(in, &failed);
    EXPECT_FALSE(failed);
    return out;
}

struct Row {
    const char* capture;
    Lines items;
};

class Reading : public testing::TestWithParam<Row> {};

TEST_P(Reading, GivesTheRowsItems) { EXPECT_EQ(read_text(GetParam().capture), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(Capture, Reading, testing::Values(
    Row{"# comment, blank line, line of blanks\n\n \t \n"
        "14:03:27.045 dm 04 20 1a 00\n"
        "1999-05-01 14:03:27.046 l2cap 0x0004 0407004000000000\n"
        "2000-02-29T23:59:60.999 rfcomm 1200 0100\n"
        "sdp 0x000d\n"
        "  dm 0X2C0B AB cd  # comment after the bytes\n"
        "dm 0x9 0900\n"
        "dm 0x2009 0920\n@00203000 28 00 03 00\n  @0x00203004: 2900 0100\n@203008:2a000000 # colon\n\t@0X00300000 ff\n"
        "l2cap 0x0003\r\n@10 ee\r\n",
        {"4: dm 0x2004 14:03:27.045 04201a00 0/0",
         "5: l2cap 0x0004 1999-05-01 14:03:27.046 0407004000000000 0/0",
         "6: rfcomm 0x0012 2000-02-29 23:59:60.999 12000100 0/0", "7: sdp 0x000d  0/0",
         "8: dm 0x2c0b abcd 0/0", "9: dm 0x0009 0900 0/0",
         "10: dm 0x2009 0920 2/13", "15: l2cap 0x0003  1/1"}},
    // A byte-order mark at the start is passed over; anywhere else it is an unknown word.
    Row{"\xef\xbb\xbf" "dm 0420\n\xef\xbb\xbf" "dm 0420\n",
        {"1: dm 0x2004 0420 0/0", "2! expected an interface (dm, l2cap, rfcomm or sdp), found \"\\xef\\xbb\\xbfdm\""}},
    Row{"# memory first\n@00203000 00\n@00203001 01\n\nsdp 0b00a002\n",
        {"2! expected an entry line before this memory line, found none", "5: sdp 0x000b 0b00a002 0/0"}},
    Row{"dm 0420\n@00203000 00 01\ndm 0420\n@00203000 02 03\n",
        {"1: dm 0x2004 0420 1/2", "3: dm 0x2004 0420 1/2"}},
    // Memory in descending pieces joins; an overlap drops the entry at the later line.
    Row{"dm 0420\n@12 02\n@11 01\n@10 00 # joined\ndm 0420\n@10 0001\n@13 00\n@11 00\n@20 00\nsdp 0b00\n",
        {"1: dm 0x2004 0420 1/3",
         "8! expected memory that no earlier line of the entry gave, found 0x00000011..0x00000011, which overlaps 0x00000010..0x00000011",
         "10: sdp 0x000b 0b00 0/0"}},
    Row{"dm 0420\n@ffffffff 01\n@fffffffe 00\n", {"1: dm 0x2004 0420 1/2"}},  // up to the last address
    Row{"", {}}, Row{"# nothing but comments\n\n", {}}));

// Every bad line in one capture: one message each at its line. The memory lines after a bad
// entry line are passed over; a bad memory line drops its entry and the rest of its memory.
TEST(CaptureReader, EveryBadLineGivesOneMessageAndReadingGoesOn) {
    const std::pair<const char*, const char*> entry_lines[] = {
        {"dm 04 20 1", "expected record bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\""},
        {"dm 0x2004 0x04", "expected record bytes in hexadecimal, found \"0x04\""},
        {"DM 04 20", "expected an interface (dm, l2cap, rfcomm or sdp), found \"DM\""},
        {"14:03:27.045", "expected an interface (dm, l2cap, rfcomm or sdp), found the end of the line"},
        {"24:00:00.000 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"24:00:00.000\""},
        {"14:03:27.0451 dm 0420", "expected a time of day HH:MM:SS.mmm, found \"14:03:27.0451\""},
        {"2023-02-29 14:03:27.045 dm 0420", "expected a date YYYY-MM-DD, found \"2023-02-29\""},
        {"ab12-05-01 dm 0420", "expected an interface (dm, l2cap, rfcomm or sdp), found \"ab12-05-01\""},
        {"2024-05-01 dm 0420", "expected a time of day HH:MM:SS.mmm after the date, found \"dm\""},
        {"2024-05-01", "expected a time of day HH:MM:SS.mmm after the date, found the end of the line"},
        {"dm 0x12345 00", "expected a type code 0x0000 to 0xffff, found \"0x12345\""},
        {"dm", "expected a type code or at least 2 record bytes to take it from, found none"},
        {"dm 04 # the rest was lost", "expected a type code or at least 2 record bytes to take it from, found 1 byte"},
        {"dm 04 \"q\\\x07\"", "expected record bytes in hexadecimal, found \"\\\"q\\\\\\x07\\\"\""},
        {"dm 00 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaz", "expected record bytes in hexadecimal, found \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...\""},
        {"dm 00 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaz", "expected record bytes in hexadecimal, found \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaz\""}};
    const std::pair<const char*, const char*> memory_lines[] = {
        {"@00203004 1", "expected memory bytes as pairs of hexadecimal digits, found an odd number of digits in \"1\""},
        {"@00203004 zz", "expected memory bytes in hexadecimal, found \"zz\""},
        {"@00202fff 0405", "expected memory that no earlier line of the entry gave, found 0x00202fff..0x00203000, which overlaps 0x00203000..0x00203003"},
        {"@00203004: # nothing here", "expected memory bytes after the address, found none"},
        {"@123456789 00", "expected a memory address of 1 to 8 hexadecimal digits after '@', found \"123456789\""},
        {"@", "expected a memory address of 1 to 8 hexadecimal digits after '@', found nothing"},
        {"@fffffffe 000102", "expected memory that ends by address 0xffffffff, found 3 bytes at 0xfffffffe running to 0x100000000"}};
    std::string capture;
    Lines expected;
    std::size_t line = 1;
    for (const auto& [text, message] : entry_lines) {
        capture += std::string(text) + "\n@00203000 00\n";
        expected.push_back(std::to_string(line) + "! " + message);
        line += 2;
    }
    for (const auto& [text, message] : memory_lines) {
        capture += std::string("dm 0x2009 0920\n@00203000 00010203\n") + text + "\n@00204000 00\n";
        expected.push_back(std::to_string(line + 2) + "! " + message);
        line += 4;
    }
    capture += "l2cap 0b00\n";
    expected.push_back(std::to_string(line) + ": l2cap 0x000b 0b00 0/0");
    EXPECT_EQ(read_text(capture), expected);
}

// Bytes are read many characters at a time: where words, blanks and those blocks fall must not
// matter. The same 40 bytes in words of 1 to 9 pairs after 1 to 17 blanks read the same, and a
// word with an odd number of digits or another character is named at every place of a line.
TEST(CaptureReader, BytesReadTheSameWhereverWordsAndBlanksFall) {
    std::string pairs, lower;
    for (int i = 0; i < 40; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, i % 3 ? "%02x" : "%02X", (i * 23) & 255);
        pairs += pair;
        std::snprintf(pair, sizeof pair, "%02x", (i * 23) & 255);
        lower += pair;
    }
    for (std::size_t word = 1; word <= 9; ++word)
        for (std::size_t blanks = 1; blanks <= 17; ++blanks) {
            std::string line = "dm 0x0001" + std::string(blanks, ' ');
            for (std::size_t i = 0; i < 40; ++i)
                line.append(i != 0 && i % word == 0 ? (i % 3 ? " " : " \t ") : "").append(pairs, 2 * i, 2);
            EXPECT_EQ(read_text(line + "\n"), Lines{"1: dm 0x0001 " + lower + " 0/0"}) << line;
        }
    for (std::size_t at = 0; at < 40; ++at)
        for (const char* bad : {"5", "0g", "123"}) {
            std::string line = "dm 0x0001";
            for (std::size_t i = 0; i < 40; ++i)
                i == at ? line.append(" ").append(bad) : line.append(" ").append(pairs, 2 * i, 2);
            const std::string what = bad[1] == 'g' ? "in hexadecimal, found \"" : "as pairs of hexadecimal digits, found an odd number of digits in \"";
            EXPECT_EQ(read_text(line + "\n"), Lines{"1! expected record bytes " + what + bad + "\""}) << line;
        }
}

// A stream buffer that gives `text` and then fails, as a file's buffer does when reading fails.
struct FailingBuffer : std::streambuf {
    std::string text;
    bool fail, given = false;
    int_type underflow() override {
        if (given && fail) throw std::ios_base::failure("reading failed");
        if (given) return traits_type::eof();
        given = true;
        setg(text.data(), text.data(), text.data() + text.size());
        return traits_type::to_int_type(text[0]);
    }
};

// Whatever the caller's exception mask, the end of the input is an end and a read error is an
// error, reported after the entries before it; the mask is left as it was.
TEST(CaptureReader, ReadErrorsAndEndsWhateverTheStreamsExceptionMask) {
    for (const bool fail : {false, true}) {
        for (const std::ios::iostate mask : {std::ios::goodbit, std::ios::badbit, std::ios::failbit | std::ios::eofbit}) {
            FailingBuffer buffer;
            buffer.text = "dm 00 00 01 00\n";
            buffer.fail = fail;
            std::istream in(&buffer);
            in.exceptions(mask);
            bool failed = false;
            EXPECT_EQ(read_stream(in, &failed), Lines{"1: dm 0x0000 00000100 0/0"});
            EXPECT_EQ(failed, fail) << mask;
            EXPECT_EQ(in.exceptions(), mask);
        }
    }
}

// The capture clock, as a table: the date each entry falls on. A date carries forward; a time of
// day more than 12 hours before the one before it is the next day (12 hours exactly is not);
// months and years roll over; a good stamp on a bad line moves the clock; each piece read with
// the clock that CaptureParser::advance gives it at its first line reads the same.
TEST(CaptureClock, DatesCarryForwardAndRollOver) {
    const std::string capture =
        "08:00:00.000 sdp 0b00\n"                      // no date yet
        "2024-02-28 20:00:00.000 sdp 0b00\n"
        "23:59:59.999 sdp 0b00\n"
        "00:00:00.001 sdp 0b00\n"                      // 2024-02-29
        "# a comment\n12:00:00.001 sdp 0b00\n"
        "00:00:00.001 sdp 0b00\n"                      // 12 hours back exactly: the same day
        "12:00:00.002 sdp 0b00\n00:00:00.001 sdp 0b00\n"  // a millisecond more: 2024-03-01
        "2023-12-31 23:30:00.000 hci 00\n"             // a bad line's good stamp counts
        "01:00:00.000 sdp 0b00\n";                     // 2024-01-01
    const Lines dates = {"1: sdp 0x000b 08:00:00.000 0b00 0/0",        "2: sdp 0x000b 2024-02-28 20:00:00.000 0b00 0/0",
                         "3: sdp 0x000b 2024-02-28 23:59:59.999 0b00 0/0", "4: sdp 0x000b 2024-02-29 00:00:00.001 0b00 0/0",
                         "6: sdp 0x000b 2024-02-29 12:00:00.001 0b00 0/0", "7: sdp 0x000b 2024-02-29 00:00:00.001 0b00 0/0",
                         "8: sdp 0x000b 2024-02-29 12:00:00.002 0b00 0/0", "9: sdp 0x000b 2024-03-01 00:00:00.001 0b00 0/0",
                         "10! expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"",
                         "11: sdp 0x000b 2024-01-01 01:00:00.000 0b00 0/0"};
    EXPECT_EQ(read_text(capture), dates);

    // From every line, the rest read on its own with the clock its first line begins with.
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = capture.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(capture.substr(at, nl - at));
    rizorod::CaptureClock clock;
    for (std::size_t from = 0; from < lines.size(); ++from) {
        rizorod::CaptureParser parser(from + 1);
        parser.clock() = clock;
        Lines got;
        Entry entry;
        Problem problem;
        for (std::size_t i = from; i <= lines.size(); ++i) {
            using Step = rizorod::CaptureParser::Step;
            for (Step step; i < lines.size() && (step = parser.line(lines[i], entry, problem)) != Step::more;) {
                got.push_back(step == Step::entry ? summary(entry) : std::to_string(problem.line) + "! " + problem.message);
                if (step == Step::problem) break;
            }
            if (i == lines.size() && parser.finish()) got.push_back(summary(entry));
        }
        Lines want;
        for (const std::string& d : dates)
            if (std::stoul(d) > from) want.push_back(d);
        EXPECT_EQ(got, want) << "from line " << from + 1;
        rizorod::CaptureParser::advance(clock, lines[from], from == 0);
    }

    // A starting date, for a capture that gives none.
    std::istringstream in("23:00:00.000 sdp 0b00\n01:00:00.000 sdp 0b00\n");
    CaptureReader reader(in);
    reader.clock() = rizorod::CaptureClock(*rizorod::parse_date("2024-12-31"));
    Entry entry;
    Problem problem;
    ASSERT_EQ(reader.next(entry, problem), CaptureReader::Item::entry);
    EXPECT_EQ(entry.stamp->date_text(), "2024-12-31");
    ASSERT_EQ(reader.next(entry, problem), CaptureReader::Item::entry);
    EXPECT_EQ(entry.stamp->date_text() + " " + entry.stamp->time_of_day(), "2025-01-01 01:00:00.000");
    EXPECT_EQ(entry.stamp->unix_ms(), 1735693200000);
}

}  // namespace
