// The application core: above the capture back end.
#include "vantrel/frame_sink.h"
