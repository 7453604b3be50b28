#include "system/heapreuse.h"

#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int MiB = 1024 * 1024;
// glibc's largest allowed mmap threshold on 64-bit systems; far above any
// block of a report.
constexpr int MmapThreshold = 32 * MiB;
constexpr int TrimThreshold = 64 * MiB;

} // namespace

void keepLargeBuffersInHeap()
{
#ifdef __GLIBC__
    // By default glibc gives blocks from 128 KiB a mapping of their own,
    // unmapped again on free (it raises that limit only as it goes), and
    // hands free memory at the top of a heap back to the system. Qt's PDF engine takes two blocks
    // of about 10 MB for each stream it compresses (only their first pages are ever touched), so
    // every report paid for fresh pages that the kernel first had to zero. Above both thresholds
    // the blocks stay in the heap, and the next report on that thread reuses them.
    mallopt(M_MMAP_THRESHOLD, MmapThreshold);
    mallopt(M_TRIM_THRESHOLD, TrimThreshold);
#endif
}
