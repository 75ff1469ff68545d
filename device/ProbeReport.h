#pragma once

#include <cstddef>

// Why a connection attempt found no instrument, port by port (GetConnectionReport). The connection thread
// opens a report for each attempt, the probe notes what became of each port, and the attempt's end makes
// its report the one callers read; a report being written never shows half-done. Each note is also logged
// (info; warnings for a port that exists but cannot be had).

enum class ProbeResult {
    NodeMissing,   // detail: errno of open (ENOENT, ENODEV, ENXIO)
    OpenFailed,    // detail: errno of open
    Locked,        // detail: pid of the live process holding the lock file
    LockFailed,    // detail: errno while taking the lock file (0: unknown)
    NotTerminal,   // detail: errno of the terminal settings
    NotIdentified, // the identify reply noted last: none, or not the instrument's
    Refused,       // identified, but the identification exchange failed
    Connected,
};

// Opens the report of one attempt on `port` (-1: every port).
void BeginProbeReport(int port);
// What became of one port whose node path is `path`.
void NoteProbe(int port, const char* path, ProbeResult result, int detail);
// The reply the identify query got (count 0: none); NotIdentified reports it.
void NoteIdentifyReply(const unsigned char* reply, int count);
// Ends the attempt: its report replaces the last one.
void EndProbeReport();

// Copies the last ended attempt's report (lines "NODE: REASON"), cut to fit and terminated; returns the
// length of the whole text. A null buffer or size 0 copies nothing.
std::size_t CopyProbeReport(char* buffer, std::size_t size);

// Opens and ends a report around one attempt.
class CProbeReportScope {
public:
    explicit CProbeReportScope(int port) { BeginProbeReport(port); }
    ~CProbeReportScope() { EndProbeReport(); }
    CProbeReportScope(const CProbeReportScope&) = delete;
    CProbeReportScope& operator=(const CProbeReportScope&) = delete;
};
