#include "qolt_api.h"
#include "qolt_version.h"

namespace {

constexpr bool SameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

} // namespace

// The header's macros are typed in by hand; VERSION is the one source. A release that changes one and not
// the other does not build.
static_assert(QOLT_VERSION_MAJOR == QOLT_LIBRARY_VERSION_MAJOR &&
                  QOLT_VERSION_MINOR == QOLT_LIBRARY_VERSION_MINOR &&
                  QOLT_VERSION_PATCH == QOLT_LIBRARY_VERSION_PATCH,
              "QOLT_VERSION_* in api/qolt_api.h differ from VERSION");
static_assert(SameText(QOLT_VERSION_STRING, QOLT_LIBRARY_VERSION),
              "QOLT_VERSION_STRING differs from VERSION");

const char* GetLibraryVersion(void) {
    return QOLT_LIBRARY_VERSION;
}
