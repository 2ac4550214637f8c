// The scan in process: a formula-like text against one memcpy of it, a very large library
// against the plain per-key loop, and the matcher's memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scan/case_folding.h"
#include "scan/library.h"
#include "scan/matcher.h"
#include "scan/scan.h"
#include "scan/text_encoding.h"

namespace tesqua {
namespace {

// The rule for one key, as plainly as it can be written: the text folded and searched.
bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view key) {
  return !text.empty() && FoldCase(text).find(FoldCase(key)) != std::u16string::npos;
}

// Formula-like text: assignments, calls and Chinese comments, with one hit at the very end.
std::u16string FormulaText(std::size_t units) {
  static constexpr std::u16string_view kLines[] = {
      u"MA5:=MA(CLOSE,5);\r\n", u"{ 均线金叉，放量突破 }\r\n", u"VAR1:=REF(HHV(HIGH,20),1);\r\n",
      u"DRAWTEXT(CROSS(MA5,MA10),LOW,'B'),COLORRED;\r\n", u"量比:=VOL/MA(VOL,5);\r\n"};
  std::u16string text;
  for (std::size_t i = 0; text.size() < units; ++i) text += kLines[i % std::size(kLines)];
  text.resize(units - 14);
  text += u"\r\nX:=ZIG(3,10);";
  return text;
}

// Texts are given by their size in bytes as UTF-16.
std::size_t Units(const benchmark::State& state) {
  return std::size_t(state.range(0)) / 2;
}

void Memcpy(benchmark::State& state) {
  const std::u16string text = FormulaText(Units(state));
  std::u16string copy(text.size(), u'\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), text.data(), text.size() * 2);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(Memcpy)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// The window's scan with the library's matcher already built (the usual case: one library,
// many notices).
void ScanDefaultLibrary(benchmark::State& state) {
  const std::u16string text = FormulaText(Units(state));
  for (auto _ : state) benchmark::DoNotOptimize(ScanText(DefaultLibrary(), text));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(ScanDefaultLibrary)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// The same with the matcher built anew each time.
void BuildAndScanDefaultLibrary(benchmark::State& state) {
  const std::u16string text = FormulaText(Units(state));
  for (auto _ : state) {
    const Matcher matcher(SearchKeys(DefaultLibrary()));
    benchmark::DoNotOptimize(Verdict(DefaultLibrary(), matcher.FirstPositions(text)));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BuildAndScanDefaultLibrary)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// The rule applied entry by entry: the text folded and searched once per entry.
void PlainLoopDefaultLibrary(benchmark::State& state) {
  const std::u16string text = FormulaText(Units(state));
  for (auto _ : state) {
    int hits = 0;
    for (const std::u16string& entry : DefaultLibrary()) {
      hits += ContainsIgnoringCase(text, SearchKey(entry)) ? 1 : 0;
    }
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(PlainLoopDefaultLibrary)->Arg(64 << 10)->Unit(benchmark::kMicrosecond);

std::vector<std::u16string> LargeLibrary() {
  std::vector<std::u16string> entries;
  for (int i = 0; i < 32767; ++i) {
    const std::string key = "$FN" + std::to_string(i * 7919);
    entries.emplace_back(key.begin(), key.end());
  }
  return entries;
}

void LargeLibraryBuildAndScan(benchmark::State& state) {
  const std::vector<std::u16string> entries = LargeLibrary();
  const std::u16string text = FormulaText(32 << 10);
  std::size_t memory = 0;
  for (auto _ : state) {
    const Matcher matcher(SearchKeys(entries));
    benchmark::DoNotOptimize(Verdict(entries, matcher.FirstPositions(text)));
    memory = matcher.MemoryBytes();
  }
  state.counters["matcher_bytes"] = double(memory);
}
BENCHMARK(LargeLibraryBuildAndScan)->Unit(benchmark::kMillisecond);

void LargeLibraryPlainLoop(benchmark::State& state) {
  const std::vector<std::u16string> entries = LargeLibrary();
  const std::u16string text = FormulaText(32 << 10);
  for (auto _ : state) {
    int hits = 0;
    for (const std::u16string& entry : entries) {
      hits += ContainsIgnoringCase(text, SearchKey(entry)) ? 1 : 0;
    }
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(LargeLibraryPlainLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

// The 100 MB UTF-8 file of bench/compare searched as bytes from memory with a library of
// bench/compare's (27: the defaults), the matcher built once: the scan alone, beside the
// whole-process figures. The files come from $TESQUA_BENCH_DATA (skipped without it).
void ByteSearchLibrary(benchmark::State& state) {
  const char* data = std::getenv("TESQUA_BENCH_DATA");
  if (data == nullptr) {
    state.SkipWithError("TESQUA_BENCH_DATA not set");
    return;
  }
  const auto count = int(state.range(0));
  const std::vector<std::u16string> entries =
      count == 27 ? DefaultLibrary()
                  : ReadLibrary(std::string(data) + "/lib-" + std::to_string(count) + ".ini",
                                [](std::string_view bytes) { return DecodeGbk(bytes); });
  std::ifstream file(std::string(data) + "/big.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  const Matcher matcher(SearchKeys(entries));
  MatchStream stream(matcher);
  constexpr std::size_t kPiece = 8 << 20;  // as tesqua-scan hands a mapped file on
  for (auto _ : state) {
    stream.Reset();
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
      stream.FeedBytes(std::string_view(text).substr(at, kPiece), ByteEncoding::kUtf8);
    }
    stream.Finish();
    benchmark::DoNotOptimize(stream);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(ByteSearchLibrary)
    ->Arg(27)
    ->Arg(65)
    ->Arg(128)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tesqua

BENCHMARK_MAIN();
