// Which vector code the processor runs, chosen once at run time: the programs are built for
// any x86-64 processor.
#pragma once

#include <cstdlib>
#include <string_view>

namespace tesqua {

enum class VectorWidth { kNone, kAvx2, kAvx512 };

// The widest the processor has; TESQUA_VECTORS=avx2 or =none holds the code to narrower ones,
// so that one machine can test every path.
inline VectorWidth UsableVectorWidth() {
  static const VectorWidth width = [] {
    const char* limit = std::getenv("TESQUA_VECTORS");
    const std::string_view held = limit == nullptr ? "" : limit;
    if (held == "none" || !__builtin_cpu_supports("avx2")) return VectorWidth::kNone;
    if (held == "avx2" || !__builtin_cpu_supports("avx512bw")) return VectorWidth::kAvx2;
    return VectorWidth::kAvx512;
  }();
  return width;
}

}  // namespace tesqua
