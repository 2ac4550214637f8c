// The scan over a formula, a large copied text and a very large library.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "scan/library.h"
#include "scan/scan.h"

namespace tesqua {
namespace {

// Formula-like text: assignments, calls and Chinese comments, with one hit at the very end.
std::u16string FormulaText(std::size_t units) {
  static constexpr std::u16string_view kLines[] = {
      u"MA5:=MA(CLOSE,5);\r\n", u"{ 均线金叉，放量突破 }\r\n", u"VAR1:=REF(HHV(HIGH,20),1);\r\n",
      u"DRAWTEXT(CROSS(MA5,MA10),LOW,'B'),COLORRED;\r\n", u"量比:=VOL/MA(VOL,5);\r\n"};
  std::u16string text;
  for (std::size_t i = 0; text.size() < units; ++i) text += kLines[i % std::size(kLines)];
  text.resize(units);
  text += u"\r\nX:=ZIG(3,10);";
  return text;
}

void ScanDefaultLibrary(benchmark::State& state) {
  const std::u16string text = FormulaText(std::size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ScanText(DefaultLibrary(), text));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(ScanDefaultLibrary)->Arg(2 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void ScanLargeLibrary(benchmark::State& state) {
  std::vector<std::u16string> entries;
  for (int i = 0; i < 32767; ++i) {
    std::string key = "$FN" + std::to_string(i * 7919);
    entries.emplace_back(key.begin(), key.end());
  }
  const std::u16string text = FormulaText(64 << 10);
  for (auto _ : state) benchmark::DoNotOptimize(ScanText(entries, text));
}
BENCHMARK(ScanLargeLibrary)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tesqua

BENCHMARK_MAIN();
