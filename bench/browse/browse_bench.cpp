// set_folder_filter and sort_files over 1,000,000 catalogue entries with names, paths, sizes,
// dates and statuses spread the way a well-used volume spreads them.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/filter.h"
#include "catalogue/ordering.h"
#include "catalogue/type_table.h"

namespace dravelo {
namespace {

constexpr std::int32_t kEntries = 1000000;
constexpr std::int32_t kFolders = 20000;

const std::array<const char*, 12> kStems = {
    "IMG_", "DSC0", "Report ", "~WRL", "invoice-", "Thumbs", "setup", "README", "Budget 20", "track", "~$ocument", "notes"};
const std::array<const char*, 16> kExtensions = {
    ".jpg", ".JPG", ".docx", ".tmp", ".pdf", ".db", ".exe", "", ".xlsx", ".mp3", ".DOC", ".txt", ".png", ".zip", ".html", ".dll"};
const std::array<const char*, 10> kFolderNames = {
    "Users", "Documents", "AppData", "Local", "Temp", "Pictures", "Camera Roll", "Projects", "Program Files", "Music"};

// Fills the catalogue once; every benchmark starts from the engines' order by reshuffling it.
void fill_catalogue() {
  static bool done = false;
  if (done) return;
  done = true;
  reset_catalogue();
  std::mt19937_64 rng(20210307);
  for (std::int32_t i = 0; i < kEntries; ++i) {
    FileInfo e;
    e.drive = static_cast<std::int32_t>(rng() % 2);
    e.drv = e.drive == 0 ? 'c' : 'd';
    e.fs = e.drive == 0 ? "NTFS" : "FAT32";
    e.inode = i;
    e.parent = static_cast<std::int32_t>(rng() % 8 == 0 ? kRootFolder : 16 + rng() % kFolders);
    e.FileName = std::string(kStems[rng() % kStems.size()]) + std::to_string(rng() % 100000) +
                 kExtensions[rng() % kExtensions.size()];
    std::string path = e.drive == 0 ? "C:\\" : "D:\\";
    const int depth = static_cast<int>(rng() % 6);
    for (int d = 0; d < depth; ++d) path += std::string(kFolderNames[rng() % kFolderNames.size()]) + "\\";
    e.Path = path;
    e.FileSize = static_cast<std::int64_t>(rng() % 4 == 0 ? rng() % 1024 : rng() % 50000000);
    const auto p = rng() % 20;
    e.Percent = static_cast<std::int8_t>(p == 0 ? -static_cast<int>(1 + rng() % 3) : (p < 5 ? 0 : static_cast<int>(rng() % 101)));
    e.DateCreated = rng() % 10 == 0 ? 0.0 : 36000.0 + static_cast<double>(rng() % 9000000) / 1000.0;
    e.DateModified = rng() % 10 == 0 ? 0.0 : e.DateCreated + static_cast<double>(rng() % 100000) / 1000.0;
    add_file(std::move(e));
  }
  classify_files(nullptr);
}

void shuffle_catalogue(std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  for (std::int32_t i = file_count() - 1; i > 0; --i)
    file_list.swap_entries(i, static_cast<std::int32_t>(rng() % static_cast<std::uint64_t>(i + 1)));
}

enum View { kAll, kFolder, kType, kName, kEverything };

void BM_SetFolderFilter(benchmark::State& state) {
  fill_catalogue();
  custom_filter = TCustomFilter{};
  std::int32_t parent = 0;
  char drv = 0;
  std::uint16_t app = 0;
  switch (state.range(0)) {
    case kFolder: parent = 16 + 123; drv = 'c'; break;
    case kType: app = 9; break;
    case kName:
      custom_filter.filename_flag = true;
      custom_filter.FileName = "wrl";
      break;
    case kEverything:
      custom_filter.filename_flag = true;
      custom_filter.FileName = "1";
      custom_filter.date_flag = true;
      set_filter_dates(custom_filter, 37000, 42000);
      custom_filter.size_flag = true;
      custom_filter.size = 100 * 1024;
      custom_filter.overwritten_flag = true;
      custom_filter.temporary_flag = true;
      break;
    default: break;
  }
  std::int32_t rows = 0;
  for (auto _ : state) {
    rows = set_folder_filter(parent, drv, app);
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = rows;
  state.SetItemsProcessed(state.iterations() * kEntries);
  custom_filter = TCustomFilter{};
}
BENCHMARK(BM_SetFolderFilter)
    ->ArgName("view")->Arg(kAll)->Arg(kFolder)->Arg(kType)->Arg(kName)->Arg(kEverything)
    ->Unit(benchmark::kMillisecond);

// The type pass at the end of an analysis, without a desktop to ask.
void BM_ClassifyFiles(benchmark::State& state) {
  fill_catalogue();
  for (auto _ : state) classify_files(nullptr);
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ClassifyFiles)->Unit(benchmark::kMillisecond);

// Sorts from a shuffled catalogue: the first press on a header.
void BM_SortFiles(benchmark::State& state) {
  fill_catalogue();
  reset_sort_state();
  const int key = static_cast<int>(state.range(0));
  std::uint64_t seed = 1;
  for (auto _ : state) {
    state.PauseTiming();
    shuffle_catalogue(seed++);
    state.ResumeTiming();
    sort_files(key);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_SortFiles)->ArgName("key")->DenseRange(1, 6)->Unit(benchmark::kMillisecond)->Iterations(3);

// Sorts an already sorted catalogue again the other way round: the second press on a header.
void BM_SortFilesReverse(benchmark::State& state) {
  fill_catalogue();
  reset_sort_state();
  const int key = static_cast<int>(state.range(0));
  shuffle_catalogue(99);
  sort_files(key);
  for (auto _ : state) {
    sort_reverse[static_cast<std::size_t>(key)] = !sort_reverse[static_cast<std::size_t>(key)];
    sort_files(key);
  }
  reset_sort_state();
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_SortFilesReverse)->ArgName("key")->Arg(1)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace dravelo

BENCHMARK_MAIN();
