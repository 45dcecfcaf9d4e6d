// The capture writer's cost against decoding the same primitive in-process, in the same run:
// writer/NAME writes the entry (stamp given, memory lines for every pointer followed) into a
// caller's buffer; writer/NAME/sink passes it to a sink that only counts; writer/NAME/clock also
// reads the clock for the stamp (clock_gettime, time of day in UTC); writer/NAME/portable is
// the buffer form built without SIMD (RIZOROD_CAPTURE_NO_SIMD, as on a target without SSE2);
// decode/NAME is the library's public operation, which reads the clock for its header line.
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/RizOrodOzido.h"
#include "target/rizorod_capture.h"

// The writer built without SIMD (CMakeLists.txt: capture_bench_portable).
extern "C" std::size_t rizorod_capture_portable(rizorod_capture_interface iface, std::uint16_t code,
                                                const void* prim, const rizorod_capture_stamp* stamp,
                                                char* buf, std::size_t len);

namespace {

// Memory below 4 GiB, so that 4-byte pointer fields can address it on a 64-bit build.
std::uint8_t* take(std::size_t n) {
    static std::uint8_t* low = nullptr;
    static std::size_t used = 0;
    if (low == nullptr) {
        void* p = mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap");
        low = static_cast<std::uint8_t*>(p);
    }
    std::uint8_t* p = low + used;
    used += (n + 15) & ~std::size_t{15};
    return p;
}
void put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void put32(std::uint8_t* p, const void* to) {
    const auto v = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(to));
    std::memcpy(p, &v, 4);
}

struct Sample {
    const char* name;
    rizorod_capture_interface iface;
    std::uint16_t code;
    const std::uint8_t* record;
};

const std::uint8_t* acl_connect_cfm() {
    static const std::uint8_t bytes[] = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                         0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    return bytes;
}

const std::uint8_t* datawrite(std::uint16_t length) {
    std::uint8_t* p = take(12);
    std::uint8_t* data = take(length);
    for (unsigned i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    put16(p, 0x000b);
    put16(p + 2, 0x41);
    put16(p + 4, length);
    put32(p + 8, data);
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
        put32(p + 8 + 4 * b, block);
    }
    return p;
}

const std::uint8_t* remote_name() {
    std::uint8_t* p = take(48);
    put16(p, 0x0429);
    for (int i = 0; i < 8; ++i) {
        std::uint8_t* f = take(32);
        std::memset(f, 'a' + i, i == 7 ? 24 : 32);
        put32(p + 16 + 4 * i, f);
    }
    return p;
}

const std::vector<Sample>& samples() {
    static const std::vector<Sample> all = {
        {"acl_connect_cfm", RIZOROD_CAPTURE_DM, 0x2004, acl_connect_cfm()},
        {"l2ca_datawrite_16B", RIZOROD_CAPTURE_L2CAP, 0x000b, datawrite(16)},
        {"l2ca_datawrite_1KiB", RIZOROD_CAPTURE_L2CAP, 0x000b, datawrite(1024)},
        {"l2ca_datawrite_64KiB", RIZOROD_CAPTURE_L2CAP, 0x000b, datawrite(65535)},
        {"inquiry_result_18", RIZOROD_CAPTURE_DM, 0x0424, inquiry_result()},
        {"remote_name_248", RIZOROD_CAPTURE_DM, 0x0429, remote_name()},
    };
    return all;
}

const rizorod_capture_stamp kStamp = {9, 41, 7, 118, 0, 0, 0};

rizorod_capture_stamp clock_stamp() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const auto day = static_cast<std::uint32_t>(ts.tv_sec % 86400);
    return {static_cast<std::uint8_t>(day / 3600), static_cast<std::uint8_t>(day / 60 % 60),
            static_cast<std::uint8_t>(day % 60), static_cast<std::uint16_t>(ts.tv_nsec / 1000000), 0, 0, 0};
}

void write(benchmark::State& state, const Sample* s, int how) {
    std::vector<char> buf(rizorod_capture(s->iface, s->code, s->record, &kStamp, nullptr, 0) + 64);
    std::size_t total = 0, sunk = 0;
    auto sink = [](void* to, const char* text, std::size_t len) {
        benchmark::DoNotOptimize(text);
        *static_cast<std::size_t*>(to) += len;
    };
    for (auto _ : state) {
        if (how == 1) {
            total += rizorod_capture_to(s->iface, s->code, s->record, &kStamp, sink, &sunk);
        } else {
            const rizorod_capture_stamp stamp = how == 2 ? clock_stamp() : kStamp;
            total += (how == 3 ? rizorod_capture_portable : rizorod_capture)(s->iface, s->code, s->record, &stamp,
                                                                           buf.data(), buf.size());
        }
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}

void decode(benchmark::State& state, const Sample* s) {
    RizOrodOzido d;
    std::size_t total = 0;
    for (auto _ : state) {
        std::string text = s->iface == RIZOROD_CAPTURE_DM ? d.debugDMprim(s->code, s->record)
                                                          : d.debugL2CAPprim(s->code, s->record);
        total += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}

int register_all() {
    for (const Sample& s : samples()) {
        const std::string n = s.name;
        benchmark::RegisterBenchmark(("writer/" + n).c_str(), write, &s, 0);
        benchmark::RegisterBenchmark(("writer/" + n + "/sink").c_str(), write, &s, 1);
        benchmark::RegisterBenchmark(("writer/" + n + "/clock").c_str(), write, &s, 2);
        benchmark::RegisterBenchmark(("writer/" + n + "/portable").c_str(), write, &s, 3);
        benchmark::RegisterBenchmark(("decode/" + n).c_str(), decode, &s);
    }
    return 0;
}
const int g_registered = register_all();

}  // namespace

BENCHMARK_MAIN();
