/* Movable, zero-filled memory blocks with a lock count.
 *
 * Images are passed around as handles of such blocks. The block never really
 * moves here, but the lock count is kept so that the ownership rules of the
 * image buffer (creators lock and never unlock, the release removes every lock
 * that remains) can be checked. */
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
