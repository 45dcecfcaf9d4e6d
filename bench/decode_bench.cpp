// SPDX-License-Identifier: Apache-2.0
// Decoding speed through the public operations, against a baseline that renders the same records
// the plain way: snprintf("%s %02x\n") into a 100-character work area per field line, and
// localtime + strftime + sprintf for every header line.
//
// Counters: ns per decoding (the benchmark's time), bytes of text per second, heap allocations
// per decoding (counted by the replaced operator new below).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <sys/time.h>
#include <vector>

#include <RizOrodOzido/RizOrodOzido.h>
#include "records.h"

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

using bench::address;
using bench::get16;
using bench::get32;

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

using bench::acl_connect_cfm;
using bench::datawrite;
using bench::inquiry_result;
using bench::remote_name;
using bench::rfc_data_ind;
using bench::search_cfm;

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
