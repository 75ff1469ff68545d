// Variant of LargeArray.h for systems without the Linux hint (compiles to nothing on Linux).
#if !defined(__linux__)

#include "playback/LargeArray.h"

void _AdviseLargeArray(void*, size_t) {}

#endif
