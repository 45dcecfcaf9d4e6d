// SPDX-License-Identifier: Apache-2.0
// The tool's own pieces, as tables: captures whose runs of blank, comment and unowned memory lines
// outgrow the reading buffer must read through the pipeline exactly as CaptureReader reads them
// (the same decodings and messages at the same lines); JSON strings, always valid UTF-8; and the
// start of a pcapng file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>

#include <RizOrodOzido/json.h>
#include "tools/pcapng.h"
#include "tools/pipeline.h"

namespace {

std::string times(const std::string& line, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += line;
    return s;
}

const std::string kWrite = "12:00:00.001 l2cap 0x000b 0b0041000300000000003000\n";  // reads 3 bytes at 0x300000
const std::string kMemory = "@00300000 01 02 ff\n";
const std::string kAcl = "12:00:00.002 dm 04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01\n";

// Runs far longer than the 128 KiB reading buffer, where it must leave lines out.
const std::vector<std::string> kCaptures = {
    kWrite + times("# comment between the entry line and its memory\n", 9000) + kMemory + kAcl,
    kWrite + times(" \t\r\n\n# x\r\n", 40000) + kMemory + "@zz\n" + times("\n", 30000) + kAcl,
    times("@10 00\n# a memory line of no entry\n", 20000) + kAcl + "@10 00\n" + kAcl,
    kWrite + std::string(300000, '#') + "\n" + kMemory + "  " + std::string(200000, '#') + "\n" + kAcl,
    [] {  // 40,000 bytes to write, in as many memory lines of 2 bytes, a comment after each
        std::string s = "12:00:00.003 l2cap 0x000b 0b004100409c000000004000\n";
        char line[40];
        for (int i = 0; i < 20000; ++i) {
            std::snprintf(line, sizeof line, "@%08x %02x %02x\n#\n\n", 0x400000 + 2 * i, i & 255, (i >> 8) + 1);
            s += line;
        }
        return s + kAcl;
    }(),
    "hci 00\n" + times("@10 00\n\n", 30000) + kAcl + times("#\n", 80000) + "@1 00\n" + times("#\n", 80000),
};

// What the tool writes for the capture (decodings and messages in one stream), read by
// CaptureReader line by line.
std::string as_read(const std::string& name, const std::string& text) {
    std::istringstream in(text);
    rizorod::CaptureReader reader(in);
    rizorod::Decoder decoder;
    rizorod::Entry entry;
    rizorod::Problem problem;
    std::string out;
    for (rizorod::CaptureReader::Item item; (item = reader.next(entry, problem)) != rizorod::CaptureReader::Item::end;) {
        if (item == rizorod::CaptureReader::Item::problem) {
            out += name + ":" + std::to_string(problem.line) + ": " + problem.message + "\n";
            continue;
        }
        try {
            out += decoder.decode(entry);
        } catch (const rizorod::DecodeError& e) {
            out += name + ":" + std::to_string(entry.line) + ": " + e.what() + "\n";
        }
    }
    return out;
}

// The same through the pipeline, from a file.
std::string as_tool(const std::string& path, unsigned jobs) {
    std::FILE* out = std::tmpfile();
    rizorod::tool::Output output(fileno(out), fileno(out));
    rizorod::tool::Options options;
    options.jobs = jobs;
    rizorod::tool::run({rizorod::tool::Input(path)}, options, rizorod::tool::text_handler, output);
    std::string got;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) got += static_cast<char>(c);
    std::fclose(out);
    return got;
}

TEST(Reading, LongRunsOfLinesNotHeldReadAsTheReaderReadsThem) {
    char path[] = "/tmp/rizorod-reading-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (std::size_t i = 0; i < kCaptures.size(); ++i) {
        std::ofstream(path, std::ios::binary) << kCaptures[i];
        const std::string expected = as_read(path, kCaptures[i]);
        ASSERT_NE(expected.find("DM_ACL_CONNECT_CFM_T"), std::string::npos) << "capture " << i;
        for (unsigned jobs : {1u, 3u}) EXPECT_EQ(as_tool(path, jobs), expected) << "capture " << i << ", " << jobs << " jobs";
    }
    std::remove(path);
}

// Every byte sequence comes out as valid UTF-8: valid sequences as they are, up to their
// boundaries; anything else byte by byte as its Latin-1 character. Each row is tried at every
// place of a 40-byte text, so that it falls before, across and after a block of 16.
TEST(Json, StringsAreValidUtf8) {
    const std::pair<std::string, std::string> rows[] = {
        {"\x7f", "\x7f"}, {"\xc2\x80", "\xc2\x80"}, {"\xdf\xbf", "\xdf\xbf"}, {"\xe0\xa0\x80", "\xe0\xa0\x80"},
        {"\xed\x9f\xbf", "\xed\x9f\xbf"}, {"\xee\x80\x80", "\xee\x80\x80"}, {"\xef\xbf\xbf", "\xef\xbf\xbf"},
        {"\xf0\x90\x80\x80", "\xf0\x90\x80\x80"}, {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        {"\xe9", "\\u00e9"}, {"\x80", "\\u0080"}, {"\xc0\x80", "\\u00c0\\u0080"}, {"\xc1\xbf", "\\u00c1\\u00bf"},
        {"\xe0\x9f\xbf", "\\u00e0\\u009f\\u00bf"}, {"\xed\xa0\x80", "\\u00ed\\u00a0\\u0080"},
        {"\xf0\x8f\xbf\xbf", "\\u00f0\\u008f\\u00bf\\u00bf"}, {"\xf4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},
        {"\xf5\x80", "\\u00f5\\u0080"}, {"\xff", "\\u00ff"}, {"\xc3", "\\u00c3"}, {"\xe2\x82", "\\u00e2\\u0082"},
        {"\xc3" "A", "\\u00c3A"}, {"\xe2\x82\xe2\x82\xac", "\\u00e2\\u0082\xe2\x82\xac"},
        {"\"\\\n", "\\\"\\\\\\u000a"},
        // a continuation byte just outside 0x80-0xbf, second and later, after each kind of lead
        {"\xc2\x7f", "\\u00c2\x7f"}, {"\xe1\x7f\x80", "\\u00e1\x7f\\u0080"}, {"\xe1\x80\xc0", "\\u00e1\\u0080\\u00c0"},
        {"\xf1\x7f\x80\x80", "\\u00f1\x7f\\u0080\\u0080"}, {"\xf1\x80\x80\x7f", "\\u00f1\\u0080\\u0080\x7f"},
    };
    for (const auto& [bytes, json] : rows)
        for (std::size_t at = 0; at + bytes.size() <= 40; ++at) {
            const std::string before(at, 'a'), after(40 - at - bytes.size(), 'z');
            std::string out;
            rizorod::json_string(out, before + bytes + after);
            EXPECT_EQ(out, "\"" + before + json + after + "\"") << "at " << at;
        }
}

// A section header in either byte order; cut short, another magic or another block type is not.
TEST(Pcapng, BeginsFileInEitherByteOrder) {
    const std::string shb("\x0a\x0d\x0d\x0a\x1c\0\0\0", 8);
    for (const auto& [head, pcapng] : {std::pair{shb + "\x4d\x3c\x2b\x1a", true}, {shb + "\x1a\x2b\x3c\x4d", true},
                                       {shb + "\x4d\x3c\x2b", false}, {shb + "\x4d\x3c\x2b\x1b", false},
                                       {"\x0a\x0d\x0d\x0b" + shb.substr(4) + "\x4d\x3c\x2b\x1a", false}})
        EXPECT_EQ(rizorod::tool::pcapng::begins_file(head), pcapng) << head.size();
}

}  // namespace
