// Conversions per second of fu_sprintf for an integer, a double and a wide
// string, beside snprintf of the same conversions: the cost of the layer.
#include "platform/sornet.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

template <class T> void Sprintf(benchmark::State& state, const char16_t* format, T value) {
    std::u16string out;
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(fu_sprintf(out, format, value));
    }
    state.SetItemsProcessed(state.iterations());
}

template <class T> void Reference(benchmark::State& state, const char* format, T value) {
    char out[64];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(out, sizeof out, format, value));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Sprintf, integer, u"%d", int32_t{123456});
BENCHMARK_CAPTURE(Sprintf, double, u"%.2f", 3.14159);
BENCHMARK_CAPTURE(Sprintf, text, u"%s", u"Bootptab");
BENCHMARK_CAPTURE(Reference, integer, "%d", 123456);
BENCHMARK_CAPTURE(Reference, double, "%.2f", 3.14159);
BENCHMARK_CAPTURE(Reference, text, "%ls", L"Bootptab");

} // namespace

BENCHMARK_MAIN();
