#include "wide_kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vantrel::bcd {

namespace {

bool ProcessorHasThem() {
#if defined(VANTREL_WIDE_KERNELS)
  // VANTREL_PORTABLE_LOOPS (set, not "0") keeps the portable loops: for
  // measuring them on a processor that has the wide ones.
  if (const char* portable = std::getenv("VANTREL_PORTABLE_LOOPS");
      portable != nullptr && *portable != '\0' && std::strcmp(portable, "0") != 0)
    return false;
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
