#include "device/posix/NodeListing.h"

#include <glob.h>

#include <cstring>

bool IsNodeListed(const char* pattern, const char* path) {
    if (pattern == nullptr || path == nullptr || pattern[0] == '\0' || path[0] == '\0') {
        return false;
    }
    glob_t listing{};
    // Names only: a node is listed whether or not the link it may be points anywhere.
    const int result = glob(pattern, 0, nullptr, &listing);
    bool found = false;
    if (result == 0) {
        for (std::size_t i = 0; i < listing.gl_pathc && !found; ++i) {
            found = listing.gl_pathv[i] != nullptr && std::strcmp(listing.gl_pathv[i], path) == 0;
        }
    }
    globfree(&listing);
    return found;
}
