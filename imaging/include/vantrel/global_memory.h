/* Zero-filled memory blocks passed around by handle, with a lock count.
 *
 * Images are passed around as handles of such blocks. A block never moves, so
 * its address can be had at any time without a lock (GmAddress): that is what
 * the image accessors use. GmLock and GmUnlock keep their contract (the address,
 * one lock more or less) for callers that count locks; nothing on a hot path
 * does. */
#ifndef VANTREL_GLOBAL_MEMORY_H
#define VANTREL_GLOBAL_MEMORY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GmBlock* GmHandle;

/* A zero-filled block of size bytes, unlocked; null when it cannot be had. */
GmHandle GmAlloc(size_t size);
/* Address of the block's bytes; adds one lock. Null for a null handle. */
void* GmLock(GmHandle h);
/* Address of the block's bytes, without a lock. Null for a null handle. */
void* GmAddress(GmHandle h);
/* Removes one lock; returns the lock count that remains. */
int GmUnlock(GmHandle h);
int GmLockCount(GmHandle h);
size_t GmSize(GmHandle h);
/* Releases the block whatever its lock count. */
void GmFree(GmHandle h);

#ifdef __cplusplus
}
#endif

#endif
