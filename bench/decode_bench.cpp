// Decoding speed through the public operations, against a baseline that renders the same records
// the plain way: snprintf("%s %02x\n") into a 100-character work area per field line, and
// localtime + strftime + sprintf for every header line.
//
// Counters: ns per decoding (the benchmark's time), bytes of text per second, heap allocations
// per decoding (counted by the replaced operator new below).
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/time.h>
#include <vector>

#include "core/RizOrodOzido.h"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

// Every allocation is counted; malloc and free underneath.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Memory below 4 GiB, so that 32-bit pointer fields can address it on a 64-bit build.
std::uint8_t* low_memory(std::size_t n) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_32BIT)
    flags |= MAP_32BIT;
#endif
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap");
    return static_cast<std::uint8_t*>(p);
}
std::uint32_t address(const void* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}
void put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
std::uint16_t get16(const std::uint8_t* p) { std::uint16_t v; std::memcpy(&v, p, 2); return v; }
std::uint32_t get32(const std::uint8_t* p) { std::uint32_t v; std::memcpy(&v, p, 4); return v; }

// ---- the plain rendering ------------------------------------------------------------------

void plain_indent(std::string& out, int depth) {
    for (int i = 0; i < depth; ++i) out += '\t';
}
void plain_field(std::string& out, int depth, const char* label, std::uint32_t v, bool nl = true) {
    char area[100];
    plain_indent(out, depth);
    std::sprintf(area, nl ? "%s %02x\n" : "%s %02x", label, v);
    out += area;
}
void plain_header(std::string& out) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t t = tv.tv_sec;
    char hms[32], stamp[32];
    std::strftime(hms, sizeof hms, "%H:%M:%S", std::localtime(&t));
    std::snprintf(stamp, sizeof stamp, "%.8s.%03d", hms, static_cast<int>(tv.tv_usec / 1000));
    out += "---- ";
    out += stamp;
    out += " ------------------\n";
}
void plain_name(std::string& out, int depth, const char* name) {
    plain_indent(out, depth);
    out += name;
    out += '\n';
}
void plain_bd_addr(std::string& out, int depth, const std::uint8_t* p) {
    plain_name(out, depth, "BD_ADDR_T");
    plain_field(out, depth + 1, "lap = ", get32(p));
    plain_field(out, depth + 1, "uap = ", p[4]);
    plain_field(out, depth + 1, "nap = ", get16(p + 6));
}
void plain_run(std::string& out, std::uint16_t count, std::uint32_t ptr) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(ptr));
    for (std::uint16_t i = 0; i < count; ++i) plain_field(out, 0, "", data[i], false);
    out += '\n';
}

std::string plain_acl_connect_cfm(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "DM_ACL_CONNECT_CFM_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "phandle = ", get16(p + 2));
    plain_field(out, 1, "status = ", p[4]);
    plain_field(out, 1, "handle = ", get16(p + 6));
    plain_bd_addr(out, 1, p + 8);
    plain_field(out, 1, "enc_mode = ", p[16]);
    return out;
}

std::string plain_inquiry_result(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "DM_HCI_INQUIRY_RESULT_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "phandle = ", get16(p + 2));
    plain_field(out, 1, "num_responses = ", p[4]);
    for (unsigned k = 0; k < p[4]; ++k) {
        const auto* block =
            reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(get32(p + 8 + 4 * (k / 3))));
        const std::uint8_t* r = block + 20 * (k % 3);
        plain_name(out, 1, "HCI_INQ_RESULT_T");
        plain_bd_addr(out, 2, r);
        plain_field(out, 2, "page_scan_rep_mode = ", r[8]);
        plain_field(out, 2, "page_scan_period_mode = ", r[9]);
        plain_field(out, 2, "page_scan_mode = ", r[10]);
        plain_field(out, 2, "dev_class = ", get32(r + 12));
        plain_field(out, 2, "clock_offset = ", get16(r + 16));
    }
    return out;
}

std::string plain_datawrite(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "L2CA_DATAWRITE_REQ_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "cid = ", get16(p + 2));
    plain_field(out, 1, "length = ", get16(p + 4));
    plain_run(out, get16(p + 4), get32(p + 8));
    return out;
}

std::string plain_rfc_data_ind(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "RFC_DATA_IND_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "phandle = ", get16(p + 2));
    plain_field(out, 1, "mux_id = ", p[4]);
    plain_field(out, 1, "server_chan = ", p[5]);
    plain_field(out, 1, "credits = ", get16(p + 6));
    plain_field(out, 1, "payload_length = ", get16(p + 8));
    plain_run(out, get16(p + 8), get32(p + 12));
    out += '\n';
    return out;
}

std::string plain_search_cfm(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "SDC_SERVICE_SEARCH_CFM_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "phandle = ", get16(p + 2));
    plain_field(out, 1, "num_recs_ret = ", get16(p + 4));
    plain_field(out, 1, "size_rec_list = ", get16(p + 6));
    plain_field(out, 1, "response = ", get16(p + 12));
    plain_field(out, 1, "err_code = ", get16(p + 14));
    plain_field(out, 1, "size_err_info = ", get16(p + 16));
    plain_run(out, get16(p + 6), get32(p + 8));
    plain_run(out, get16(p + 16), get32(p + 20));
    return out;
}

std::string plain_remote_name(const std::uint8_t* p) {
    std::string out;
    plain_header(out);
    plain_name(out, 0, "DM_HCI_REMOTE_NAME_COMPLETE_T");
    plain_field(out, 1, "type = ", get16(p));
    plain_field(out, 1, "phandle = ", get16(p + 2));
    plain_field(out, 1, "status = ", p[4]);
    plain_bd_addr(out, 1, p + 8);
    out += "\tname_part = ";
    for (unsigned i = 0; i < 8; ++i) {
        const auto* f = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(get32(p + 16 + 4 * i)));
        if (f == nullptr) break;
        const std::size_t n = strnlen(f, i == 7 ? 24 : 32);
        if (n == 0) break;
        out.append(f, n);
        if (n < 32) break;
    }
    out += '\n';
    return out;
}

// ---- the records ----------------------------------------------------------------------------

struct Sample {
    const char* name;
    int iface;  // 0 dm, 1 l2cap, 2 rfcomm, 3 sdp
    std::uint16_t code;
    const std::uint8_t* record;
    std::string (*plain)(const std::uint8_t*);
};

std::uint8_t* g_low = nullptr;
std::size_t g_used = 0;
std::uint8_t* take(std::size_t n) {
    if (g_low == nullptr) g_low = low_memory(1 << 20);
    std::uint8_t* p = g_low + g_used;
    g_used += (n + 15) & ~std::size_t{15};
    return p;
}

const std::uint8_t* acl_connect_cfm() {
    std::uint8_t* p = take(17);
    const std::uint8_t bytes[] = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                  0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    std::memcpy(p, bytes, sizeof bytes);
    return p;
}

const std::uint8_t* inquiry_result() {
    std::uint8_t* p = take(32);
    put16(p, 0x0424);
    put16(p + 2, 1);
    p[4] = 18;
    for (int b = 0; b < 6; ++b) {
        std::uint8_t* block = take(60);
        for (int i = 0; i < 60; ++i) block[i] = static_cast<std::uint8_t>(b * 60 + i);
        put32(p + 8 + 4 * b, address(block));
    }
    return p;
}

const std::uint8_t* datawrite(std::uint16_t length) {
    std::uint8_t* p = take(12);
    std::uint8_t* data = take(length);
    for (unsigned i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    put16(p, 0x000b);
    put16(p + 2, 0x41);
    put16(p + 4, length);
    put32(p + 8, address(data));
    return p;
}

const std::uint8_t* rfc_data_ind() {
    std::uint8_t* p = take(20);
    std::uint8_t* data = take(32);
    for (int i = 0; i < 32; ++i) data[i] = static_cast<std::uint8_t>(0x41 + i);
    put16(p, 0x0019);
    put16(p + 2, 2);
    p[4] = 1;
    p[5] = 3;
    put16(p + 6, 5);
    put16(p + 8, 32);
    put32(p + 12, address(data));
    return p;
}

const std::uint8_t* search_cfm() {
    std::uint8_t* p = take(24);
    std::uint8_t* recs = take(8);
    std::uint8_t* err = take(4);
    const std::uint8_t handles[] = {0, 1, 0, 0, 0, 1, 0, 1};
    std::memcpy(recs, handles, 8);
    std::memcpy(err, "\x01\x02\x03\x04", 4);
    put16(p, 0x0002);
    put16(p + 2, 1);
    put16(p + 4, 2);
    put16(p + 6, 8);
    put32(p + 8, address(recs));
    put16(p + 16, 4);
    put32(p + 20, address(err));
    return p;
}

const std::uint8_t* remote_name() {
    std::uint8_t* p = take(48);
    put16(p, 0x0429);
    put16(p + 2, 1);
    for (int i = 0; i < 8; ++i) {
        const int len = i == 7 ? 24 : 32;
        std::uint8_t* f = take(len);
        std::memset(f, 'a' + i, len);
        put32(p + 16 + 4 * i, address(f));
    }
    return p;
}

std::string decode(RizOrodOzido& d, const Sample& s) {
    switch (s.iface) {
    case 0: return d.debugDMprim(s.code, s.record);
    case 1: return d.debugL2CAPprim(s.code, s.record);
    case 2: return d.debugRFCOMMprim(s.code, s.record);
    default: return d.debugSDPprim(s.code, s.record);
    }
}

void run_library(benchmark::State& state, const Sample* s) {
    RizOrodOzido d;
    std::size_t bytes = 0;
    const std::uint64_t before = g_allocations.load();
    for (auto _ : state) {
        std::string text = decode(d, *s);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["allocs"] = static_cast<double>(g_allocations.load() - before) / n;
    state.counters["text"] = static_cast<double>(bytes) / n;
}

void run_plain(benchmark::State& state, const Sample* s) {
    std::size_t bytes = 0;
    const std::uint64_t before = g_allocations.load();
    for (auto _ : state) {
        std::string text = s->plain(s->record);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["allocs"] = static_cast<double>(g_allocations.load() - before) / n;
    state.counters["text"] = static_cast<double>(bytes) / n;
}

std::vector<Sample>& samples() {
    static std::vector<Sample> all = {
        {"acl_connect_cfm_11_lines", 0, 0x2004, acl_connect_cfm(), plain_acl_connect_cfm},
        {"inquiry_result_18", 0, 0x0424, inquiry_result(), plain_inquiry_result},
        {"l2ca_datawrite_16B", 1, 0x000b, datawrite(16), plain_datawrite},
        {"l2ca_datawrite_1KiB", 1, 0x000b, datawrite(1024), plain_datawrite},
        {"l2ca_datawrite_64KiB", 1, 0x000b, datawrite(65535), plain_datawrite},
        {"rfc_data_ind_32B", 2, 0x0019, rfc_data_ind(), plain_rfc_data_ind},
        {"sdc_search_cfm_two_runs", 3, 0x0002, search_cfm(), plain_search_cfm},
        {"remote_name_248", 0, 0x0429, remote_name(), plain_remote_name},
    };
    return all;
}

int register_all() {
    RizOrodOzido d;
    for (const Sample& s : samples()) {
        // Both renderings must print the same text (apart from the stamp) to be comparable.
        const std::string a = decode(d, s), b = s.plain(s.record);
        if (a.size() < 37 || a.substr(37) != b.substr(37)) {
            std::fprintf(stderr, "%s: library and baseline texts differ\n", s.name);
            std::exit(1);
        }
        benchmark::RegisterBenchmark((std::string("library/") + s.name).c_str(), run_library, &s);
        benchmark::RegisterBenchmark((std::string("baseline/") + s.name).c_str(), run_plain, &s);
    }
    // Scaling: separate objects on separate threads.
    benchmark::RegisterBenchmark("library/acl_connect_cfm_11_lines/threads", run_library, &samples()[0])
        ->Threads(1)->Threads(2)->UseRealTime();
    return 0;
}
const int g_registered = register_all();

}  // namespace

BENCHMARK_MAIN();
