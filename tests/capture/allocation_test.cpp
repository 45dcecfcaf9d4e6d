// SPDX-License-Identifier: Apache-2.0
// Allocation failure at every allocation. This program replaces operator new with one that can
// be told to fail on its Nth call. Reading and decoding a capture of long decodings must then
// raise std::bad_alloc and nothing else, give back every allocation (counted here; the asan
// preset also runs LeakSanitizer) and leave the Decoder as good as new. Where the tool's pipeline
// is built, the same capture through it must end its input with "out of memory after line K",
// having written exactly what the capture's first K lines alone give.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <RizOrodOzido/capture.h>
#include <RizOrodOzido/rizorod.h>
#ifdef RIZOROD_TEST_PIPELINE
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

// The example session (every interface: names, byte runs, blocks, access codes) and a byte run
// of 65535 bytes, far beyond what a decoding reserves.
const std::string& capture() {
    static const std::string text = [] {
        std::ifstream in(RIZOROD_SESSION);
        std::string c((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        c += "12:00:00.001 sdp 0x0006 060000000000ffff00000100000000000000000000000000\n@10000";
        for (int i = 0; i < 0xffff; ++i) c += " 5a";
        return c + "\nhci 00\n";
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
    ASSERT_NE(read().find(" 5a 5a\n"), std::string::npos) << "the long byte run is decoded";
    fail_each_allocation(read, [&](long n, bool failed, const std::string&) {
        EXPECT_TRUE(failed) << "allocation " << n << " failed and the reading went on";
    });
}

// Through the C interface nothing is thrown and nothing leaks: a failed allocation is one
// RIZOROD_E_MEMORY saying "x:LINE: out of memory" ("out of memory" when opening failed), LINE
// the line being read.
TEST(AllocationFailure, TheCInterfaceReportsIt) {
    static bool said = true;
    capture();  // made once, before the count
    const auto read = [] {
        rizorod_reader* reader = nullptr;
        rizorod_error e{};
        rizorod_entry entry;
        char* text = nullptr;
        int memory = 0, line = 0;
        rizorod_status s = rizorod_reader_open_text(capture().data(), capture().size(), "x", &reader, &e);
        for (; s != RIZOROD_END; s = reader ? rizorod_reader_next(reader, &entry, &text, &e) : RIZOROD_END) {
            rizorod_free(text), text = nullptr;
            if (s != RIZOROD_E_MEMORY) continue;
            const char* what = std::strstr(e.message, "out of memory");  // after "x:LINE: " when reading
            said = said && what && !what[13] && (std::sscanf(e.message, "x:%d: ", &line) == 1) == (reader != nullptr);
            // the line being read: at most the one after the last, where the input ends
            said = said && line <= static_cast<int>(std::count(capture().begin(), capture().end(), '\n')) + 1;
            ++memory;
        }
        rizorod_reader_close(reader);
        return std::to_string(memory);
    };
    fail_each_allocation(read, [](long n, bool failed, const std::string& got) {
        EXPECT_FALSE(failed) << "allocation " << n;
        EXPECT_EQ(got, "1") << "allocation " << n;
    });
    EXPECT_TRUE(said);
}

#ifdef RIZOROD_TEST_PIPELINE
// Standard output and standard error of one run of the pipeline, one job, on `text`.
std::string run_pipeline(const std::string& text, int& status) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::string result;
    try {
        rizorod::tool::Output output(fileno(out), fileno(err));
        status = rizorod::tool::run({rizorod::tool::Input("x", true, text)}, {}, rizorod::tool::text_handler, output);
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
