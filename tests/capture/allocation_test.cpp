// Allocation failure at every allocation of a decoding. This program replaces operator new with
// one that can be told to fail on its Nth call; for every N up to the number of allocations that
// a decoding makes, the decoding must raise std::bad_alloc (nothing else, and no termination),
// give back every allocation it made (counted here; the asan preset also runs LeakSanitizer), and
// leave the object to decode the same primitive correctly on the next call.
//
// The decodings are long ones: two byte runs of which one is 65535 bytes, block walks of plain
// and nested records, the 96 access codes of the longest LAP list. Each is done
// in-process through the public operation, and offline through rizorod::Decoder with the same
// bytes in a memory image; the capture reader is also failed while it reads a capture.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "support/decode.h"

namespace {
std::atomic<bool> g_armed{false};
std::atomic<long> g_calls{0};    // calls of operator new while armed
std::atomic<long> g_fail_at{0};  // the call that throws; 0: none
std::atomic<long> g_live{0};     // allocations not yet given back

void* allocate(std::size_t n) {
    if (g_armed.load() && g_calls.fetch_add(1) + 1 == g_fail_at.load()) throw std::bad_alloc();
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    g_live.fetch_add(1);
    return p;
}
void release(void* p) noexcept {
    if (p == nullptr) return;
    g_live.fetch_sub(1);
    std::free(p);
}
}  // namespace

// Every replaceable form that allocates or frees with the default alignment, so that memory from
// this operator new never reaches another operator delete (the sanitizers check the pairing).
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
    return operator new(n, tag);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {
using riz::test::Guarded;
using Interface = riz::detail::Interface;

// What one attempt ended with.
enum class Outcome { done, bad_alloc, other };

// Runs `work` with the Nth allocation failing (0: none). Sets `calls` to the number of
// allocations that `work` asked for.
Outcome attempt(long n, const std::function<void()>& work, long& calls) {
    g_calls = 0;
    g_fail_at = n;
    g_armed = true;
    Outcome outcome = Outcome::done;
    try {
        work();
    } catch (const std::bad_alloc&) {
        outcome = Outcome::bad_alloc;
    } catch (...) {
        outcome = Outcome::other;
    }
    g_armed = false;
    calls = g_calls;
    return outcome;
}

// Fails every allocation of `work` in turn. `work` leaves its result in `result`, which must
// equal `expected` after every undisturbed run.
void fail_each_allocation(const std::function<std::string()>& work, const std::string& expected) {
    std::string result;
    const auto run = [&] { result = work(); };
    long total = 0;
    ASSERT_EQ(attempt(0, run, total), Outcome::done);
    ASSERT_EQ(result, expected);
    // At least the result string and its growth; otherwise this operator new is not reached.
    ASSERT_GE(total, 2) << "the decoding's allocations do not reach this program's operator new";
    for (long n = 1; n <= total; ++n) {
        const long live = g_live;
        result.clear();
        long calls = 0;
        EXPECT_EQ(attempt(n, run, calls), Outcome::bad_alloc)
            << "allocation " << n << " of " << total;
        EXPECT_EQ(calls, n) << "no allocation after the failed one";
        EXPECT_EQ(g_live, live) << "allocation " << n << " of " << total << " leaves memory behind";
        EXPECT_EQ(attempt(0, run, calls), Outcome::done) << "after allocation " << n << " failed";
        EXPECT_EQ(result, expected) << "after allocation " << n << " failed";
    }
    // One past the last allocation: nothing fails.
    long calls = 0;
    EXPECT_EQ(attempt(total + 1, run, calls), Outcome::done);
    EXPECT_EQ(calls, total);
}

// A primitive with the memory its pointers address: in guarded pages for the in-process
// decoding, and the same bytes at the same addresses in a memory image for the offline one.
struct Scene {
    Interface iface;
    rizorod::Interface api;
    std::uint16_t code;
    std::unique_ptr<Guarded> record;
    std::vector<std::unique_ptr<Guarded>> blocks;
    rizorod::MemoryImage image;

    Scene(Interface iface_, rizorod::Interface api_, std::uint16_t code_)
        : iface(iface_), api(api_), code(code_) {
        record = std::make_unique<Guarded>(riz::detail::find_primitive(iface, code)->size);
        std::memset(record->data(), 0, record->size());
        record->put16(0, code);
    }
    // Places `bytes` and stores their address in the record at `offset`.
    void point(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
        blocks.push_back(std::make_unique<Guarded>(bytes));
        record->put32(offset, blocks.back()->address());
        EXPECT_TRUE(image.add(blocks.back()->address(), bytes));
    }
};

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

std::unique_ptr<Scene> two_byte_runs() {
    // SDC_SERVICE_SEARCH_ATTRIBUTE_CFM_T: a 65535-byte attribute list and 300 bytes of error
    // information, each a byte run after the field lines.
    auto s = std::make_unique<Scene>(Interface::sdp, rizorod::Interface::sdp, 0x0006);
    s->record->put16(6, 0xffff);
    s->point(8, pattern(0xffff, 1));
    s->record->put16(18, 300);
    s->point(20, pattern(300, 2));
    return s;
}

std::unique_ptr<Scene> handle_blocks() {
    // DM_ACL_DATA_SENT_IND_T: 64 handles in four blocks of 16.
    auto s = std::make_unique<Scene>(Interface::dm, rizorod::Interface::dm, 0x2009);
    s->record->put8(4, 64);
    for (unsigned b = 0; b < 4; ++b) s->point(8 + 4 * b, pattern(64, b));
    return s;
}

std::unique_ptr<Scene> inquiry_results() {
    // DM_HCI_INQUIRY_RESULT_T: 18 results, three nested records of 20 bytes in each of six blocks.
    auto s = std::make_unique<Scene>(Interface::dm, rizorod::Interface::dm, 0x0424);
    s->record->put8(4, 18);
    for (unsigned b = 0; b < 6; ++b) s->point(8 + 4 * b, pattern(60, 10 + b));
    return s;
}

std::unique_ptr<Scene> access_codes() {
    // HCI_WRITE_CURRENT_IAC_LAP_T: 96 access codes, all six blocks full.
    auto s = std::make_unique<Scene>(Interface::dm, rizorod::Interface::dm, 0x0c3a);
    s->record->put8(4, 96);
    for (unsigned b = 0; b < 6; ++b) s->point(8 + 4 * b, pattern(64, 20 + b));
    return s;
}

// A decoding to fail, by name.
struct Long {
    const char* name;
    std::unique_ptr<Scene> (*make)();
};
void PrintTo(const Long& l, std::ostream* os) { *os << l.name; }

class AllocationFailure : public ::testing::TestWithParam<Long> {};

TEST_P(AllocationFailure, InProcessDecoding) {
    const auto scene = GetParam().make();
    const riz::detail::ScopedStamp pinned("14:03:27.045", 12);
    RizOrodOzido d;
    const std::string expected =
        riz::test::decode(d, scene->iface, scene->code, scene->record->data());
    ASSERT_GT(expected.size(), 500u) << "a decoding longer than the reserved 500 characters";
    fail_each_allocation(
        [&] { return riz::test::decode(d, scene->iface, scene->code, scene->record->data()); },
        expected);
}

TEST_P(AllocationFailure, OfflineDecoding) {
    const auto scene = GetParam().make();
    rizorod::Timestamp stamp;
    stamp.hour = 14;
    stamp.minute = 3;
    stamp.second = 27;
    stamp.millis = 45;
    const std::span<const std::uint8_t> record(scene->record->data(), scene->record->size());
    rizorod::Decoder decoder;
    const std::string expected =
        decoder.decode(scene->api, scene->code, record, scene->image, &stamp);
    // The same text as in-process.
    {
        const riz::detail::ScopedStamp pinned("14:03:27.045", 12);
        RizOrodOzido d;
        ASSERT_EQ(expected, riz::test::decode(d, scene->iface, scene->code, scene->record->data()));
    }
    fail_each_allocation(
        [&] { return decoder.decode(scene->api, scene->code, record, scene->image, &stamp); },
        expected);
}

INSTANTIATE_TEST_SUITE_P(LongDecodings, AllocationFailure,
                         ::testing::Values(Long{"TwoByteRuns", &two_byte_runs},
                                           Long{"BlockWalk", &handle_blocks},
                                           Long{"NestedBlockWalk", &inquiry_results},
                                           Long{"AccessCodes", &access_codes}),
                         [](const ::testing::TestParamInfo<Long>& info) {
                             return std::string(info.param.name);
                         });

// A refusal is an exception too: a failed allocation while the DecodeError is made gives
// std::bad_alloc, and the Decoder goes on.
TEST(AllocationFailure, WhileRefusing) {
    const auto scene = handle_blocks();
    rizorod::MemoryImage partial;  // the first block only, and three bytes short
    ASSERT_TRUE(partial.add(scene->blocks[0]->address(), std::vector<std::uint8_t>(61)));
    const std::span<const std::uint8_t> record(scene->record->data(), scene->record->size());
    rizorod::Decoder decoder;
    const auto refusal = [&]() -> std::string {
        try {
            decoder.decode(rizorod::Interface::dm, 0x2009, record, partial);
        } catch (const rizorod::DecodeError& e) {
            return e.what();
        }
        return "no refusal";
    };
    const std::string expected = refusal();
    ASSERT_NE(expected.find("needs 64 bytes; the image has 61 there"), std::string::npos)
        << expected;
    fail_each_allocation(refusal, expected);
}

// The reader fails too: reading and decoding a capture, each allocation failed in turn, raises
// std::bad_alloc and gives back everything; a new reading with the same Decoder is complete.
TEST(AllocationFailure, ReadingAndDecodingACapture) {
    const std::string capture =
        "# two entries with memory in pieces\n"
        "14:03:27.045 l2cap 0x000b 0b 00 41 00 03 00 00 00 00 00 30 00\n"
        "@00300000 01 02\n"
        "@00300002: ff\n"
        "2024-05-14T09:41:21.002 dm 0x2009 09 20 01 00  11 00 00 00  00 f8 04 08  00 00 00 00  00 "
        "00 00 00  00 00 00 00\n"
        "@0804f800 29 00 03 00  00 00 00 00  00 00 00 00  00 00 00 00\n"
        "@0804f810 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00\n"
        "@0804f820 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00\n"
        "@0804f830 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00\n"
        "hci 00\n"
        "09:41:25.500 dm 07 20 01 00 00 00 29 00 13\n";
    rizorod::Decoder decoder;
    const auto read = [&] {
        std::istringstream in(capture);
        rizorod::CaptureReader reader(in);
        rizorod::Entry entry;
        rizorod::Problem problem;
        std::string out;
        for (;;) {
            const auto item = reader.next(entry, problem);
            if (item == rizorod::CaptureReader::Item::end) break;
            if (item == rizorod::CaptureReader::Item::problem)
                out += std::to_string(problem.line) + ": " + problem.message + "\n";
            else
                out += decoder.decode(entry);
        }
        return out;
    };
    const std::string expected = read();
    ASSERT_NE(expected.find("---- 09:41:21.002 ------------------\nDM_ACL_DATA_SENT_IND_T\n"),
              std::string::npos);
    ASSERT_NE(
        expected.find("10: expected an interface (dm, l2cap, rfcomm or sdp), found \"hci\"\n"),
        std::string::npos);
    fail_each_allocation(read, expected);
}

}  // namespace
