#include "engine/heapreuse.h"

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
    // By default glibc gives every block from 128 KiB on a mapping of its own,
    // unmapped again on free, and returns the top of the heap to the system
    // as soon as as much is free there. Qt's PDF engine needs several such
    // blocks per report (the logo's pixel rows, the compressed copy of each
    // stream, the growing page contents), so every report paid for fresh
    // pages that the kernel first had to zero. Above both thresholds the
    // blocks stay in the heap, and the next report on that thread reuses them.
    mallopt(M_MMAP_THRESHOLD, MmapThreshold);
    mallopt(M_TRIM_THRESHOLD, TrimThreshold);
#endif
}
