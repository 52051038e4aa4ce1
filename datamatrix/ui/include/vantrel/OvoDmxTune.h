/* OvoDmxTune: the Data Matrix reader's unsharp-mask tuning dialog.
 *
 * Runs the dialog modally on a copy of the picture and returns 0 when it was
 * closed with OK, 1 when it was cancelled, -1 for a null picture (or when no
 * application object exists to show it in). OK leaves the values the dialog
 * shows in the reader; Cancel puts back the ones it found. This entry takes no
 * lock: a program that decodes on another thread at the same time uses
 * vantrel::OvoDmxTuneWith (unsharp_dlg.h) with its decoder lock. */
#ifndef VANTREL_OVODMXTUNE_H
#define VANTREL_OVODMXTUNE_H

#include <stdint.h>

#include "vantrel/dib.h"

#ifdef __cplusplus
extern "C" {
#endif

int32_t OvoDmxTune(DibImage image);

#ifdef __cplusplus
}
#endif

#endif
