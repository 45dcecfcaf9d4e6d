// Allocation failure at every allocation. This program replaces operator new with one that can
// be told to fail on its Nth call. Reading and decoding a capture of long decodings must then
// raise std::bad_alloc and nothing else, give back every allocation (counted here; the asan
// preset also runs LeakSanitizer) and leave the Decoder as good as new. Where the tool's pipeline
// is built, the same capture through it must end its input with "out of memory after line K",
// having written exactly what the capture's first K lines alone give.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#ifdef RIZ_TEST_PIPELINE
#include "tools/pipeline.h"
#endif

namespace {
std::atomic<bool> g_armed{false};
std::atomic<long> g_calls{0};    // calls of operator new while armed
std::atomic<long> g_fail_at{0};  // the call that fails; 0: none
std::atomic<long> g_live{0};     // allocations not yet given back

void* allocate(std::size_t n, bool nothrow) {
    if (g_armed.load() && g_calls.fetch_add(1) + 1 == g_fail_at.load()) {
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr && !nothrow) throw std::bad_alloc();
    if (p != nullptr) g_live.fetch_add(1);
    return p;
}
void release(void* p) noexcept {
    if (p == nullptr) return;
    g_live.fetch_sub(1);
    std::free(p);
}
}  // namespace

// Every replaceable form with the default alignment, so that memory from this operator new never
// reaches another operator delete (the sanitizers check the pairing).
void* operator new(std::size_t n) { return allocate(n, false); }
void* operator new[](std::size_t n) { return allocate(n, false); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, true); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, true); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {

// Runs `work` with the Nth allocation failing (0: none); returns the number of allocations asked
// for and whether std::bad_alloc came out (anything else fails the test).
long attempt(long n, const std::function<void()>& work, bool& failed) {
    g_calls = 0;
    g_fail_at = n;
    g_armed = true;
    failed = false;
    try {
        work();
    } catch (const std::bad_alloc&) {
        failed = true;
    } catch (...) {
        ADD_FAILURE() << "an exception other than std::bad_alloc at allocation " << n;
    }
    g_armed = false;
    return g_calls;
}

std::string hex(std::size_t n, unsigned seed) {
    std::string s;
    char two[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned>(i * 7 + seed) & 0xff);
        s += two;
    }
    return s;
}

// A record of `size` bytes: its code first, then little-endian values at offsets.
std::string record(std::uint16_t code, std::size_t size, std::vector<std::pair<std::size_t, std::uint32_t>> values) {
    std::vector<std::uint8_t> r(size);
    values.insert(values.begin(), {0, code});
    for (auto [at, v] : values)
        for (std::size_t i = 0; i < 4 && at + i < size; ++i) r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    std::string s;
    char two[4];
    for (auto b : r) {
        std::snprintf(two, sizeof two, "%02x", b);
        s += two;
    }
    return s;
}

// Long decodings: two byte runs (65535 and 300 bytes), 64 handles in four blocks, 18 inquiry
// results nested in six blocks, 96 access codes; a refusal, a bad line and a short entry.
const std::string& capture() {
    static const std::string text = [] {
        std::string c = "12:00:00.001 sdp " + record(0x0006, 24, {{6, 0xffff}, {8, 0x10000}, {18, 300}, {20, 0x30000}}) +
                        "\n@10000 " + hex(0xffff, 1) + "\n@30000 " + hex(300, 2) + "\n";
        c += "12:00:00.002 dm " + record(0x2009, 24, {{4, 64}, {8, 0x1000}, {12, 0x1040}, {16, 0x1080}, {20, 0x10c0}}) +
             "\n@1000 " + hex(256, 3) + "\n";
        c += "12:00:00.003 dm " + record(0x0424, 32, {{4, 18}, {8, 0x2000}, {12, 0x2100}, {16, 0x2200}, {20, 0x2300}, {24, 0x2400}, {28, 0x2500}});
        for (int b = 0; b < 6; ++b) c += "\n@" + std::to_string(2000 + 100 * b) + " " + hex(60, 10 + b);
        c += "\n12:00:00.004 dm " + record(0x0c3a, 32, {{4, 96}, {8, 0x3000}, {12, 0x3040}, {16, 0x3080}, {20, 0x30c0}, {24, 0x3100}, {28, 0x3140}}) +
             "\n@3000 " + hex(384, 20) + "\n";
        c += "12:00:00.005 dm " + record(0x2009, 24, {{4, 64}, {8, 0x1000}}) + "\n@1000 " + hex(61, 4) + "\n";
        return c + "hci 00\n12:00:00.006 dm 07 20 01 00 00 00 29 00 13\n";
    }();
    return text;
}

// Fails every allocation of `work` in turn.
void fail_each_allocation(const std::function<std::string()>& work,
                          const std::function<void(long, bool, const std::string&)>& check) {
    std::string result;
    bool failed = false;
    const long total = attempt(0, [&] { result = work(); }, failed);
    ASSERT_FALSE(failed);
    const std::string expected = result;
    ASSERT_GE(total, 10) << "the allocations do not reach this program's operator new";
    for (long n = 1; n <= total; ++n) {
        const long live = g_live;
        result.clear();
        const long calls = attempt(n, [&] { result = work(); }, failed);
        EXPECT_EQ(g_live, live) << "allocation " << n << " of " << total << " leaves memory behind";
        EXPECT_GE(calls, n);
        check(n, failed, result);
        attempt(0, [&] { result = work(); }, failed);
        EXPECT_EQ(result, expected) << "after allocation " << n << " failed";
    }
}

TEST(AllocationFailure, ReadingAndDecodingACapture) {
    rizorod::Decoder decoder;
    const auto read = [&] {
        std::istringstream in(capture());
        rizorod::CaptureReader reader(in);
        rizorod::Entry entry;
        rizorod::Problem problem;
        std::string out;
        for (rizorod::CaptureReader::Item item; (item = reader.next(entry, problem)) != rizorod::CaptureReader::Item::end;) {
            if (item == rizorod::CaptureReader::Item::problem) {
                out += std::to_string(problem.line) + ": " + problem.message + "\n";
                continue;
            }
            try {
                out += decoder.decode(entry);
            } catch (const rizorod::DecodeError& e) {
                out += std::string(e.what()) + "\n";
            }
        }
        return out;
    };
    const std::string whole = read();
    ASSERT_NE(whole.find("needs 64 bytes; the image has 61 there"), std::string::npos) << whole;
    ASSERT_NE(whole.find("---- 12:00:00.006 ------------------\nDM_"), std::string::npos) << whole;
    fail_each_allocation(read, [&](long n, bool failed, const std::string&) {
        EXPECT_TRUE(failed) << "allocation " << n << " failed and the reading went on";
    });
}

#ifdef RIZ_TEST_PIPELINE
// Standard output and standard error of one run of the pipeline, one job, on `text`.
std::string run_pipeline(const std::string& text, int& status) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::string result;
    try {
        rizorod::tool::Output output(fileno(out), fileno(err));
        status = rizorod::tool::run({{"x", true, text}}, {}, rizorod::tool::text_handler, output);
    } catch (const std::bad_alloc&) {
        status = -1;  // before any input: nothing written
    }
    g_armed = false;  // what follows is the test's own
    for (std::FILE* f : {out, err}) {
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;) result += static_cast<char>(c);
        result += "|";
        std::fclose(f);
    }
    return result;
}

TEST(AllocationFailure, ThePipelineEndsTheInputAfterTheLinesItHandled) {
    const std::string text = capture();
    int status = 0;
    fail_each_allocation([&] { return run_pipeline(text, status); }, [&](long n, bool failed, const std::string& got) {
        ASSERT_FALSE(failed) << "allocation " << n;
        if (status == -1) {
            EXPECT_EQ(got, "||");
            return;
        }
        EXPECT_EQ(status, 2) << "allocation " << n;
        const std::size_t at = got.rfind("rizorod: x: out of memory after line ");
        ASSERT_NE(at, std::string::npos) << "allocation " << n << ": " << got.substr(got.size() - std::min<std::size_t>(got.size(), 300));
        const long k = std::atol(got.c_str() + at + 37);
        std::size_t cut = 0;
        for (long line = 0; line < k; ++line) cut = text.find('\n', cut) + 1;
        int clean = 0;
        const std::string first = run_pipeline(text.substr(0, cut), clean);
        EXPECT_EQ(got, first.substr(0, first.size() - 1) + "rizorod: x: out of memory after line " + std::to_string(k) + "\n|")
            << "allocation " << n;
    });
}
#endif

}  // namespace
