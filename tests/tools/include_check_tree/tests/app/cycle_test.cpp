// Tests may look at everything.
#include "capture/src/grabber.h"
#include "vantrel/reading_cycle.h"
