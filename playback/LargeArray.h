#pragma once

#include <cstddef>

// Hints that a freshly allocated array of many samples will be filled at once: on Linux its memory is backed
// by huge pages where the system allows, which spares most of the page faults of the first touch (a
// 10-million-sample recording takes 20000 of them otherwise). Elsewhere, and for small arrays, nothing.
void _AdviseLargeArray(void* data, size_t bytes);
