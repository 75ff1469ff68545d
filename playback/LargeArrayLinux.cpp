// Linux variant of LargeArray.h (the build globs every playback source; this one compiles to nothing
// elsewhere).
#if defined(__linux__)

#include "playback/LargeArray.h"

#include <cstdint>
#include <sys/mman.h>

void _AdviseLargeArray(void* data, size_t bytes) {
    const uintptr_t huge = uintptr_t(1) << 21;
    if (data == nullptr || bytes < 2 * huge) {
        return;
    }
    // Only whole huge pages inside the array: the advice never reaches memory the array does not own.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(huge - 1);
    if (end > start) {
        madvise(reinterpret_cast<void*>(start), end - start,
                MADV_HUGEPAGE); // a hint: failure changes nothing
    }
}

#endif
