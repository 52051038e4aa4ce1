// The largest single block any code of the process asks for while a probe is
// alive: our own code and the format libraries alike (malloc, calloc, realloc,
// and operator new through them). Under AddressSanitizer and ThreadSanitizer
// their allocator reports every request; elsewhere the test program stands in
// front of the C library's allocator.
//
// One probe at a time; requests of every thread count.
#ifndef VANTREL_TESTS_IMAGING_ALLOCATION_PROBE_H
#define VANTREL_TESTS_IMAGING_ALLOCATION_PROBE_H

#include <cstddef>

namespace vantrel::test {

class LargestAllocation {
 public:
  LargestAllocation();
  ~LargestAllocation();
  LargestAllocation(const LargestAllocation&) = delete;
  LargestAllocation& operator=(const LargestAllocation&) = delete;

  size_t Bytes() const;
};

}  // namespace vantrel::test

#endif
