#pragma once

// Writing to a port that takes its input in fixed blocks (the macOS build's writes): shorter requests go
// out padded, every block waits for room by poll(), which has no limit on the descriptor's number.

// The block the instrument takes; a request shorter than this goes out as one block filled with zeros.
constexpr int kPortWriteBlock = 64;

enum class BlockWriteEnd {
    Done,     // every byte went out
    TimedOut, // the port took nothing for the whole room wait
    Failed,   // a write or the wait for room failed; `error` tells why
};

struct BlockWriteResult {
    int sent = 0; // bytes of the caller's request that went out (padding is not counted)
    BlockWriteEnd end = BlockWriteEnd::Done;
    int error = 0; // errno when Failed
};

// Writes `length` bytes to `descriptor` in blocks of at most kPortWriteBlock, padding a request shorter
// than one block. Waits for room at most `roomWaitMs` milliseconds (negative: without limit); every byte
// taken restarts that wait. A `stalled` port gets one look without a wait until it takes a byte. A block
// the port takes only in part is followed by tcdrain, so the rest starts a block of its own. Bad arguments
// give Failed (EINVAL), an empty request Done with nothing sent.
BlockWriteResult WriteInBlocks(int descriptor, const unsigned char* buffer, int length, int roomWaitMs,
                               bool stalled);
