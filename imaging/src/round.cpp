#include <cmath>

#include "vantrel/ovoutil.h"

int32_t RoundToInt(double x) {
  double i = 0;
  double f = std::modf(x, &i);
  if (f >= 0.5) i += 1;
  else if (f < -0.5) i -= 1;
  if (!(i >= INT32_MIN)) return INT32_MIN;  // also NaN
  if (i > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(i);
}
