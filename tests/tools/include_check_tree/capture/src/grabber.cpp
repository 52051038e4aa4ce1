#include "grabber.h"
#include "vantrel/frame_sink.h"
#include "vantrel/reading_cycle.h"
