// Speed of the -lh5- chunk decoder and of the exported unpack, in bytes of output per second.
//
//   bench_decoder                                 the benchmarks on built-in realistic data
//   bench_decoder --write-sample FILE             writes the sample data (8 settings regions)
//   bench_decoder --lzh ARCHIVE --original FILE   adds a benchmark of the archive's first
//                                                 -lh5- entry, checked against FILE first
// bench/compare_lhasa.sh uses the last two to time lhasa and this decoder on the same stream.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "NorraLink.h"
#include "lh5_decoder.h"
#include "lh5_test_writer.h"
#include "lzh_reader.h"
#include "sample_region.h"

namespace {

constexpr size_t kChunk = 32762;

std::vector<uint8_t> SampleData() {
  std::vector<uint8_t> data;
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    const auto region = samples::MakeSampleRegion(seed);
    data.insert(data.end(), region.begin(), region.end());
  }
  return data;
}

// The sample region cut into chunk-sized pieces, each coded on its own.
struct CodedChunk {
  size_t rawLength;
  std::vector<uint8_t> data;
};

void BM_ExpandChunk(benchmark::State& state) {
  const auto region = samples::MakeSampleRegion(1);
  std::vector<CodedChunk> chunks;
  for (size_t at = 0; at < region.size(); at += kChunk) {
    const size_t n = std::min(kChunk, region.size() - at);
    chunks.push_back({n, lh5test::TestEncode(region.data() + at, n)});
  }
  auto decoder = std::make_unique<codec::Lh5Decoder>();
  std::vector<uint8_t> out(region.size());
  for (auto _ : state) {
    size_t at = 0;
    for (const CodedChunk& c : chunks) {
      decoder->ExpandChunk(out.data() + at, c.rawLength, c.data.data(), c.data.size());
      at += c.rawLength;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != region) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * region.size()));
}
BENCHMARK(BM_ExpandChunk)->Unit(benchmark::kMicrosecond);

// A realistic container (the sample region with its channel blocks 12 to 25 erased, so that it
// fits); the bytes counted are the region's.
void BM_UnPackFlashData(benchmark::State& state) {
  auto region = samples::MakeSampleRegion(1);
  std::fill(region.begin() + 12 * 8192, region.begin() + 26 * 8192, 0xFF);
  const auto container = lh5test::MakeContainer(region, samples::MakeIdentity(0x1234));
  std::vector<uint8_t> copy(container.size()), out(region.size());
  for (auto _ : state) {
    copy = container;
    if (Dll_UnPackFlashData(copy.data(), out.data()) != 1) state.SkipWithError("unpack failed");
  }
  if (out != region) state.SkipWithError("unpacked region differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * region.size()));
}
BENCHMARK(BM_UnPackFlashData)->Unit(benchmark::kMicrosecond);

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The archive's first -lh5- entry as one coded stream (any length uses the same bit format).
bool RegisterLzh(const char* archivePath, const char* originalPath) {
  static lh5test::LzhEntry entry;
  static std::vector<uint8_t> original;
  original = ReadFile(originalPath);
  for (auto& e : lh5test::ParseLzh(ReadFile(archivePath))) {
    if (e.method == "-lh5-") {
      entry = std::move(e);
      break;
    }
  }
  if (entry.method != "-lh5-" || entry.originalSize != original.size()) {
    std::fprintf(stderr, "no -lh5- entry of %zu bytes in %s\n", original.size(), archivePath);
    return false;
  }
  auto decoder = std::make_unique<codec::Lh5Decoder>();
  std::vector<uint8_t> out(original.size());
  decoder->ExpandChunk(out.data(), out.size(), entry.data.data(), entry.data.size());
  if (out != original) {
    std::fprintf(stderr, "the decoder's output differs from %s\n", originalPath);
    return false;
  }
  benchmark::RegisterBenchmark("BM_LzhStream", [](benchmark::State& state) {
    auto d = std::make_unique<codec::Lh5Decoder>();
    std::vector<uint8_t> buffer(original.size());
    for (auto _ : state) {
      d->ExpandChunk(buffer.data(), buffer.size(), entry.data.data(), entry.data.size());
      benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
  })->Unit(benchmark::kMillisecond);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--write-sample") == 0 && i + 1 < argc) {
      return WriteFile(argv[i + 1], SampleData()) ? 0 : 1;
    }
    if (std::strcmp(argv[i], "--lzh") == 0 && i + 3 < argc &&
        std::strcmp(argv[i + 2], "--original") == 0) {
      if (!RegisterLzh(argv[i + 1], argv[i + 3])) return 1;
      i += 3;
      continue;
    }
    rest.push_back(argv[i]);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
