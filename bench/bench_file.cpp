// Native file save and load, delimited text import, and the memory a load
// needs. Run from a Release build; figures are bytes of file data per second.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "model/CellPool.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"

namespace {

enum TContent { kEmpty, kOneChar, kRealistic };

// 1000 x 1000 tables fit the format only with very short texts (a table
// container holds at most 16 MiB); realistic texts are measured on 300 x 300.
void Fill(TTable& t, int rows, int cols, TContent content) {
  t.Clear();
  for (int c = 0; c < cols; ++c) new TColumn(t);
  std::mt19937 random(1);
  const char* words[] = {"alpha", "$x_1$", "Total", "\\textbf{42}", "n/a", "12.5", "long description text"};
  for (int r = 0; r < rows; ++r) {
    TRow* row = t.AddRow();
    for (TCell* cell : *row) {
      if (content == kOneChar) cell->SetText(std::string(1, static_cast<char>('a' + random() % 26)));
      if (content == kRealistic) cell->SetText(words[random() % 7] + std::to_string(random() % 1000));
    }
  }
}

std::string TempName(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("quiltor-bench-") + name)).string();
}

void SaveFile(benchmark::State& state, int rows, int cols, TContent content) {
  TTable t;
  Fill(t, rows, cols, content);
  const std::string name = TempName("save.qtor");
  for (auto _ : state) SaveTableFile(t, name);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  std::filesystem::remove(name);
}

// Saving over a file with a second hard link: written in place, from the
// whole file made in memory.
void SaveLinkedFile(benchmark::State& state, int rows, int cols, TContent content) {
  TTable t;
  Fill(t, rows, cols, content);
  const std::string name = TempName("linked.qtor"), link = TempName("linked-2.qtor");
  SaveTableFile(t, name);
  std::filesystem::remove(link);
  std::filesystem::create_hard_link(name, link);
  for (auto _ : state) SaveTableFile(t, name);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  std::filesystem::remove(name);
  std::filesystem::remove(link);
}

void SaveMemory(benchmark::State& state, int rows, int cols, TContent content) {
  TTable t;
  Fill(t, rows, cols, content);
  int64_t size = 0;
  for (auto _ : state) {
    TMemoryStream s;
    t.SaveToStream(s);
    size = s.Size();
    benchmark::DoNotOptimize(s.Data().data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void LoadFile(benchmark::State& state, int rows, int cols, TContent content) {
  const std::string name = TempName("load.qtor");
  {
    TTable t;
    Fill(t, rows, cols, content);
    SaveTableFile(t, name);
  }
  for (auto _ : state) {
    auto* t = new TTable;
    LoadTableFile(*t, name);
    // Freeing the table is the closing of a document, not part of a load.
    state.PauseTiming();
    delete t;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  state.counters["MB"] = std::filesystem::file_size(name) / 1e6;
  std::filesystem::remove(name);
}

// Loading over a table that holds the same content: the old cells are freed
// by the load itself, as when a document is opened again.
void ReloadFile(benchmark::State& state, int rows, int cols, TContent content) {
  const std::string name = TempName("reload.qtor");
  {
    TTable t;
    Fill(t, rows, cols, content);
    SaveTableFile(t, name);
  }
  TTable t;
  LoadTableFile(t, name);
  for (auto _ : state) LoadTableFile(t, name);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  std::filesystem::remove(name);
}

BENCHMARK_CAPTURE(SaveFile, 1000x1000_empty, 1000, 1000, kEmpty)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveFile, 1000x1000_1char, 1000, 1000, kOneChar)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveFile, 300x300_texts, 300, 300, kRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveLinkedFile, 1000x1000_1char, 1000, 1000, kOneChar)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveMemory, 1000x1000_1char, 1000, 1000, kOneChar)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFile, 1000x1000_empty, 1000, 1000, kEmpty)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFile, 1000x1000_1char, 1000, 1000, kOneChar)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFile, 300x300_texts, 300, 300, kRealistic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReloadFile, 1000x1000_1char, 1000, 1000, kOneChar)->Unit(benchmark::kMillisecond);

// A CSV file of about 50 MB: ten numeric fields per line.
const std::string& BigCsv() {
  static const std::string name = [] {
    const std::string n = TempName("big.csv");
    std::ofstream out(n, std::ios::binary);
    std::mt19937 random(2);
    std::string line;
    size_t size = 0;
    while (size < 50'000'000) {
      line.clear();
      for (int i = 0; i < 10; ++i) {
        if (i) line += ',';
        line += std::to_string(random() % 100000) + "." + std::to_string(random() % 100);
      }
      line += "\r\n";
      out << line;
      size += line.size();
    }
    return n;
  }();
  return name;
}

void ImportCsv(benchmark::State& state) {
  const std::string& name = BigCsv();
  TTable t;
  for (auto _ : state) t.ImportText(name, ",", false);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  state.counters["cells"] = static_cast<double>(t.RowCount()) * t.ColCount();
}
BENCHMARK(ImportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same file read as quoted fields (the converter's --quoted): it holds
// no quote, so it should cost about what the plain reading does.
void ImportCsvQuoted(benchmark::State& state) {
  const std::string& name = BigCsv();
  TTable t;
  TTextImportOptions options;
  options.Quoted = true;
  for (auto _ : state) t.ImportText(name, options);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(name)));
  state.counters["cells"] = static_cast<double>(t.RowCount()) * t.ColCount();
}
BENCHMARK(ImportCsvQuoted)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---------------------------------------------------------------- memory

// The heap in use plus the cell slabs, which the allocator's own figures
// do not show.
size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd + CellPool::BytesReserved();
}

// Kilobytes of a /proc/self/status line such as "VmHWM:".
size_t StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word)
    if (word == key) {
      size_t kb = 0;
      status >> kb;
      return kb;
    }
  return 0;
}

// Peak memory of a load against the size of the finished table: the peak
// resident size is reset just before the load, and the table's own size is
// the heap it holds afterwards.
void LoadPeakMemory(benchmark::State& state, int rows, int cols, TContent content, bool text) {
  const std::string name = TempName(text ? "peak.csv" : "peak.qtor");
  {
    TTable t;
    Fill(t, rows, cols, content);
    if (text) t.ExportText(name, ',');
    else SaveTableFile(t, name);
  }
  double peakMb = 0, tableMb = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const size_t heapBefore = HeapInUse();
    const size_t rssBefore = StatusKb("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // resets VmHWM to the current size
    auto* t = new TTable;
    if (text) t->ImportText(name, ",", false);
    else LoadTableFile(*t, name);
    peakMb = (StatusKb("VmHWM:") - rssBefore) / 1024.0;
    tableMb = (HeapInUse() - heapBefore) / 1048576.0;
    delete t;
  }
  state.counters["table_MB"] = tableMb;
  state.counters["peak_MB"] = peakMb;
  state.counters["peak_ratio"] = peakMb / tableMb;
  std::filesystem::remove(name);
}
BENCHMARK_CAPTURE(LoadPeakMemory, native_1000x1000_1char, 1000, 1000, kOneChar, false)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadPeakMemory, native_300x300_texts, 300, 300, kRealistic, false)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadPeakMemory, csv_1000x1000_texts, 1000, 1000, kRealistic, true)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
