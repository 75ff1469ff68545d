#pragma once

// True when listing the nodes that match the glob(3) pattern names `path` exactly. No shell and no child
// process. False when the listing cannot be made.
bool IsNodeListed(const char* pattern, const char* path);
