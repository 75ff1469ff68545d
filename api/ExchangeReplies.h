#pragma once

// Replies to the host's own queries while the stream runs. The poll thread is paused during such an
// exchange, but the instrument is not: a data request it sends in the meantime ("N", or "N" "X") reaches
// the port ahead of (or after) the reply. Such requests are set apart and handed to the poll thread when
// the exchange ends (QueueDataRequests), so that the reply is read whole, the stream does not wait for a
// packet that never comes, and no packet is built on the exchange's thread or inside a packet being built.
//
// Use under g_APICriticalSection with polling paused.
class CExchangeRequests {
public:
    CExchangeRequests() = default;
    ~CExchangeRequests();
    CExchangeRequests(const CExchangeRequests&) = delete;
    CExchangeRequests& operator=(const CExchangeRequests&) = delete;

    // Waits `waitMs`, then reads the reply: at most `capacity` bytes, collecting for a short grace time
    // until at least `minimum` came. While the stream runs, data requests that precede the reply are set
    // apart: for replies whose first byte never looks like one (the converter's). Returns the count of
    // reply bytes.
    int ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs);

    // Waits `waitMs`, then reads an information block (the reply to the information query and to a
    // stored block), which may begin with bytes that look like data requests. Never reads past the
    // block. Returns the count of block bytes (kInformationBlockSize when it came whole).
    int ReadBlock(unsigned char* block, unsigned waitMs);

    // Sets apart the data requests among bytes read around a reply.
    void NoteRequests(const unsigned char* bytes, int length);

private:
    int m_nRequests = 0;
    int m_nErrorRequests = 0;
};
