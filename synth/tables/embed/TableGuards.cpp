// The assembler places a 64-byte zero guard before, between and after the tables. Under AddressSanitizer
// the guards are poisoned at load, so that a read past either end of a table is reported where it happens
// instead of silently returning a neighbouring table's samples. Other builds only keep the link anchor.

extern "C" {
// Referenced by the tables' object so that a static link takes this unit along with them.
extern const int g_TableGuardsLinked;
const int g_TableGuardsLinked = 0;
}

#if defined(__SANITIZE_ADDRESS__)
#define QOLT_TABLES_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOLT_TABLES_ASAN 1
#endif
#endif

#if defined(QOLT_TABLES_ASAN)
#include <sanitizer/asan_interface.h>

extern "C" {
extern const unsigned char g_TableGuard0[64];
extern const unsigned char g_TableGuard1[64];
extern const unsigned char g_TableGuard2[64];
extern const unsigned char g_TableGuard3[64];
extern const unsigned char g_TableGuard4[64];
}

namespace {

struct TableGuardPoisoner {
    TableGuardPoisoner() {
        const unsigned char* const guards[] = {g_TableGuard0, g_TableGuard1, g_TableGuard2, g_TableGuard3,
                                               g_TableGuard4};
        for (const unsigned char* guard : guards) {
            ASAN_POISON_MEMORY_REGION(guard, 64);
        }
    }
};

const TableGuardPoisoner s_TableGuardPoisoner;

} // namespace
#endif
