#include "platform/HeapReserve.h"

#include <QFileInfo>
#include <QVarLengthArray>

#if defined(__linux__) && defined(__GLIBC__)
#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace Platform {

void reserveHugePageHeapFor(const QString& file)
{
#if defined(__linux__) && defined(__GLIBC__)
    constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
    constexpr qint64 kChunk = 16 * 1024 * 1024;
    constexpr qint64 kMaxReserve = 1024LL * 1024 * 1024;
    const QFileInfo info(file);
    if (!info.exists())
        return;
    // The file's bytes, its lines and the tree nodes: about four times the file's size.
    const qint64 bytes = qMin(4 * info.size(), kMaxReserve);
    // The largest threshold glibc accepts; larger blocks still get mappings of their own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    // Blocks taken one after the other from the top of the heap lie next to each other; they
    // go back to it untouched, and the advice stays with the address range that the following
    // allocations are carved from.
    QVarLengthArray<void*, 64> blocks;
    for (qint64 taken = 0; taken < bytes; taken += kChunk) {
        void* block = std::malloc(size_t(kChunk));
        if (!block)
            break;
        blocks.append(block);
        const auto begin = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(block) + std::uintptr_t(kChunk)) & ~(kHugePage - 1);
        if (end > begin)
            madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
    for (qsizetype i = blocks.size() - 1; i >= 0; --i)
        std::free(blocks[i]);
#else
    Q_UNUSED(file);
#endif
}

} // namespace Platform
