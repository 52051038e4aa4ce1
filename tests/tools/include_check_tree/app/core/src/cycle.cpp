#include "vantrel/reading_cycle.h"
#include "capture/src/grabber.h"
