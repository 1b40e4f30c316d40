// Operand text throughput. items_per_second is parses (or writes) per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <iterator>

#include "fautil/OperandRange.h"
#include "fautil/OperandText.h"

namespace {

// What a ladder editor typically hands over: mostly bits and registers, some
// groups, pairs and constants, a few typing errors.
const char* const kMix[] = {
    "X0",     "X17",   "Y7",     "M100",  "M1950", "S12",   "T5",    "C201",   "R100",
    "R3900",  "R5123", "D0",     "D4085", "P3",    "F1024", "WX16",  "WM1888", "DWS8",
    "DR5000", "DD10",  "DF200",  "V",     "Z",     "100",   "-5",    "1FH",    "1010B",
    "'AB'",   "1.5",   "3.4E38", "x007",  "tdr5",  "X256",  "R4500", "DR3839", "12HX",
};

void BM_StrToType(benchmark::State& state) {
  uint8_t type = 0;
  uint32_t address = 0;
  for (auto _ : state) {
    for (const char* text : kMix) {
      benchmark::DoNotOptimize(fautil::StrToType(text, type, address));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kMix)));
}
BENCHMARK(BM_StrToType);

void BM_StrNormalize(benchmark::State& state) {
  char buffer[32];
  for (auto _ : state) {
    for (const char* text : kMix) {
      benchmark::DoNotOptimize(fautil::StrNormalize(buffer, text));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kMix)));
}
BENCHMARK(BM_StrNormalize);

void BM_RefStrRangeToStr(benchmark::State& state) {
  const char* list = "X0-X17,Y0~Y7,M100-M131\nD0-D49,WX0-WX240,DR0-DR20,T5,C200";
  fautil::TStrings result;
  result.reserve(256);
  for (auto _ : state) {
    result.clear();
    benchmark::DoNotOptimize(fautil::RefStrRangeToStr(list, &result));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(result.size()));
}
BENCHMARK(BM_RefStrRangeToStr);

}  // namespace

BENCHMARK_MAIN();
