#pragma once

#include <QtGlobal>

// Prepares the heap for a large load (tens of megabytes of records turned into lines and tree
// nodes). On Linux with glibc the heap region that the coming allocations will use is marked
// for transparent huge pages, so it is faulted in 2 MB at a time instead of 4 KB: on virtual
// machines where every page fault is expensive this divides the time of a large load several
// times. Allocations up to 32 MB then come from the heap (not separate mappings), and freed heap
// memory is handed back to the system only above 256 MB. Elsewhere it does nothing.
namespace Platform {

void prepareHeap(qint64 bytes);

} // namespace Platform
