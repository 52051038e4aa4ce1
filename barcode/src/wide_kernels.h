// The hand-vectorised loops of the search (sampling from the grey tiles,
// threshold crossings, edges) use 512-bit instructions where the processor has
// them; elsewhere the portable loops give the same results. Whether the
// processor has them is asked once; VANTREL_PORTABLE_LOOPS=1 in the
// environment keeps the portable loops, for measuring them.
#ifndef VANTREL_BARCODE_WIDE_KERNELS_H
#define VANTREL_BARCODE_WIDE_KERNELS_H

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VANTREL_WIDE_KERNELS 1
#define VANTREL_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi")))
#endif

namespace vantrel::bcd {

// True when the wide loops run: the processor has them and they were not
// turned off. Any thread.
bool WideKernels();

// Turns the wide loops off, or back on where the processor has them, for the
// whole process: for tests that compare them with the portable loops. Not
// while a search runs.
void SetWideKernels(bool on);

}  // namespace vantrel::bcd

#endif
