#pragma once

// True when listing the nodes that match the glob(3) pattern names `path` exactly. No shell and no child
// process. False when the listing cannot be made.
bool IsNodeListed(const char* pattern, const char* path);

// The port number of one listed node name: true only when the format makes exactly this name from a
// non-negative number, so the port opened later is the node listed ("usbmodemFD121", "usbmodem03" and
// "usbmodem-1" are not nodes of "/dev/cu.usbmodem%d").
bool ListedNodePort(const char* format, const char* name, int* port);

// The port numbers of the nodes of `format` that are listed now, in listing order, skipping names that are
// not its nodes. Writes at most `capacity` numbers; returns the count written.
int ListNodePorts(const char* format, int* ports, int capacity);
