#pragma once

// The port's traffic in the library's log, logged where the bytes cross the port (the raw read and write
// of each platform) and nowhere else. Messages in hex at the wire level, a sample packet as one summary
// line; failed and short writes as errors and warnings. Costs one relaxed load while nobody listens.

// After a write of `length` bytes of which the port took `accepted` (-1: failed with `error`, an errno).
void WireLogSent(const unsigned char* bytes, int length, int accepted, int error);

// After a read that brought `count` bytes (nothing is logged for none).
void WireLogReceived(const unsigned char* bytes, int count);
