#include "wide_kernels.h"

#include <atomic>

namespace vantrel::bcd {

namespace {

bool ProcessorHasThem() {
#if defined(VANTREL_WIDE_KERNELS)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vbmi");
#else
  return false;
#endif
}

std::atomic<bool>& Switch() {
  static std::atomic<bool> on{ProcessorHasThem()};
  return on;
}

}  // namespace

bool WideKernels() { return Switch().load(std::memory_order_relaxed); }

void SetWideKernels(bool on) { Switch().store(on && ProcessorHasThem(), std::memory_order_relaxed); }

}  // namespace vantrel::bcd
