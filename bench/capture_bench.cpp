// SPDX-License-Identifier: Apache-2.0
// The capture writer's cost against decoding the same primitive in-process, in the same run:
// writer/NAME writes the entry (stamp given, memory lines for every pointer followed) into a
// caller's buffer; writer/NAME/sink passes it to a sink that only counts; writer/NAME/clock also
// reads the clock for the stamp (clock_gettime, time of day in UTC); writer/NAME/portable is
// the buffer form built without SIMD (RIZOROD_CAPTURE_NO_SIMD, as on a target without SSE2);
// decode/NAME is the library's public operation, which reads the clock for its header line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <RizOrodOzido/RizOrodOzido.h>
#include "records.h"
#include <RizOrodOzido/rizorod_capture.h>

// The writer built without SIMD (CMakeLists.txt: capture_bench_portable).
extern "C" std::size_t rizorod_capture_portable(rizorod_capture_interface iface, std::uint16_t code,
                                                const void* prim, const rizorod_capture_stamp* stamp,
                                                char* buf, std::size_t len);

namespace {

using bench::acl_connect_cfm;
using bench::datawrite;
using bench::inquiry_result;
using bench::remote_name;

struct Sample {
    const char* name;
    rizorod_capture_interface iface;
    std::uint16_t code;
    const std::uint8_t* record;
};

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
