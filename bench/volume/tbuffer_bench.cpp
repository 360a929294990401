// What the reader's window buys and costs: 1 KiB requests (an MFT record's size) in ascending
// order and at random places, through TBuffer with the engines' 10240-sector window and through
// one pread each. Sector 0 of the image says 1 sector per cluster and its whole size, so the
// window is bounded by the image.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "volume/tbuffer.h"

namespace {

namespace fs = std::filesystem;
using namespace dravelo;

constexpr std::int64_t kImageBytes = 256LL << 20;
constexpr std::uint32_t kRequest = 1024;
const std::string kImage = std::string(DRAVELO_BENCH_DIR) + "/tbuffer.img";

bool make_image() {
  if (fs::exists(kImage) && static_cast<std::int64_t>(fs::file_size(kImage)) == kImageBytes) return true;
  fs::create_directories(DRAVELO_BENCH_DIR);
  std::ofstream out(kImage, std::ios::binary | std::ios::trunc);
  std::mt19937_64 random(1);
  std::vector<std::uint64_t> block(1 << 17);
  for (std::int64_t done = 0; done < kImageBytes; done += static_cast<std::int64_t>(block.size() * 8)) {
    for (auto& v : block) v = random();
    if (done == 0) {
      auto* b = reinterpret_cast<std::uint8_t*>(block.data());
      b[0x0D] = 1;
      const std::uint64_t sectors = kImageBytes / 512;
      for (int i = 0; i < 8; ++i) b[0x28 + i] = static_cast<std::uint8_t>(sectors >> (8 * i));
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
  return static_cast<bool>(out);
}

std::vector<std::int64_t> offsets(bool ascending, std::size_t count) {
  std::vector<std::int64_t> out(count);
  std::mt19937_64 random(2);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = ascending ? static_cast<std::int64_t>(i) * kRequest
                       : static_cast<std::int64_t>(random() % (kImageBytes / kRequest)) * kRequest;
  return out;
}

void through_tbuffer(benchmark::State& state, bool ascending) {
  if (!make_image()) {
    state.SkipWithError("cannot make the image");
    return;
  }
  const auto where = offsets(ascending, ascending ? kImageBytes / kRequest : 2000);
  std::vector<std::uint8_t> out(kRequest);
  std::int64_t fills = 0;
  for (auto _ : state) {
    TBuffer reader(kImage, 10240);
    for (std::int64_t at : where) benchmark::DoNotOptimize(reader.ReadBuffer(at, kRequest, out.data()));
    fills += reader.fills();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(where.size()) * kRequest);
  state.counters["fills"] = static_cast<double>(fills) / static_cast<double>(state.iterations());
}

void through_pread(benchmark::State& state, bool ascending) {
  if (!make_image()) {
    state.SkipWithError("cannot make the image");
    return;
  }
  const auto where = offsets(ascending, ascending ? kImageBytes / kRequest : 2000);
  std::vector<std::uint8_t> out(kRequest);
  const int fd = ::open(kImage.c_str(), O_RDONLY);
  for (auto _ : state)
    for (std::int64_t at : where) benchmark::DoNotOptimize(::pread(fd, out.data(), kRequest, at));
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(where.size()) * kRequest);
}

void AscendingTBuffer(benchmark::State& s) { through_tbuffer(s, true); }
void AscendingPread(benchmark::State& s) { through_pread(s, true); }
void RandomTBuffer(benchmark::State& s) { through_tbuffer(s, false); }
void RandomPread(benchmark::State& s) { through_pread(s, false); }

BENCHMARK(AscendingTBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(AscendingPread)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomTBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomPread)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
