#include "scan/vector_kernels.h"

#include <cstdlib>
#include <string_view>

namespace tesqua {

bool ProcessorHas(VectorWidth width) {
  switch (width) {
    case VectorWidth::kNone:
      return true;
    case VectorWidth::kAvx2:
      return __builtin_cpu_supports("avx2");
    case VectorWidth::kAvx512:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw");
  }
  return false;
}

const VectorKernels& KernelsFor(VectorWidth width) {
  static const VectorKernels baseline = BaselineKernels();
  static const VectorKernels avx2 = Avx2Kernels();
  static const VectorKernels avx512 = Avx512Kernels();
  return width == VectorWidth::kAvx512 ? avx512 : width == VectorWidth::kAvx2 ? avx2 : baseline;
}

const VectorKernels& ChooseKernels() {
  const char* limit = std::getenv("TESQUA_VECTORS");
  const std::string_view held = limit == nullptr ? "" : limit;
  VectorWidth width = VectorWidth::kAvx512;
  if (held == "avx2" || !ProcessorHas(width)) width = VectorWidth::kAvx2;
  if (held == "none" || !ProcessorHas(width)) width = VectorWidth::kNone;
  return KernelsFor(width);
}

}  // namespace tesqua
