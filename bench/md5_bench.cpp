// Throughput of the MD5 core on data already in memory, for several update sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/NMd5.h"

namespace {

void BM_Md5Update(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) {
    data[i] = static_cast<uint8_t>(i * 131u + (i >> 9));
  }
  NMd5 md5;
  for (auto _ : state) {
    md5.update(data.data(), data.size());
    benchmark::ClobberMemory();
  }
  uint8_t digest[NMd5::kDigestSize];
  md5.final(digest);
  benchmark::DoNotOptimize(digest);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_Md5Update)->Arg(64)->Arg(2048)->Arg(0x80000);

}  // namespace

BENCHMARK_MAIN();
