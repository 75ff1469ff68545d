#pragma once

// Replies to the host's own queries while the stream runs. The poll thread is paused during such an
// exchange, but the instrument is not: a data request it sends in the meantime ("N", or "N" "X") reaches
// the port ahead of (or after) the reply. Such requests are set apart and answered when the exchange
// ends, so that the reply is read whole and the stream does not wait for a packet that never comes.
//
// Use under g_APICriticalSection with polling paused; declare it after the lock guard, so that the
// requests are answered (by the destructor) while the lock is still held.
class CExchangeRequests {
public:
    CExchangeRequests() = default;
    ~CExchangeRequests();
    CExchangeRequests(const CExchangeRequests&) = delete;
    CExchangeRequests& operator=(const CExchangeRequests&) = delete;

    // Waits `waitMs`, then reads the reply: at most `capacity` bytes, collecting for a short grace time
    // until at least `minimum` came. While the stream runs, data requests that precede the reply are set
    // apart. Returns the count of reply bytes.
    int ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs);

    // Sets apart the data requests among bytes read after a reply.
    void NoteTrailing(const unsigned char* bytes, int length);

private:
    int m_nRequests = 0;
    int m_nErrorRequests = 0;
};
