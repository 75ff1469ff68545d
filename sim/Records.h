// What the virtual instrument records: the messages it received, the packets and samples decoded from them,
// the faults it found in packets, what it sent, and plug/stream events. All times are steady_clock.
#pragma once

#include "sim/Protocol.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qoltsim {

using Clock = std::chrono::steady_clock;

enum class MessageStatus : uint8_t {
    Ok,
    Malformed,  // right length, but fixed bytes differ (the instrument ignores it)
    Incomplete, // the message stopped short (cut packet, or no more bytes within the message time-out)
};
const char* MessageStatusName(MessageStatus status);

struct CommandRecord {
    MessageKind kind = MessageKind::Unknown;
    MessageStatus status = MessageStatus::Ok;
    std::vector<uint8_t> bytes; // the message as received; empty for packets (see PacketRecord::bytes)
    Clock::time_point time;     // when its last byte arrived
    int64_t packet = -1;        // index into Recording::packets for a packet, else -1
};

struct PacketRecord {
    int64_t index = 0;
    Clock::time_point time;
    bool complete = true;       // 3200 bytes
    bool streamStart = false;   // first packet of a stream (no stream ran when it came)
    int stream = 0;             // stream number, counted from 0 since Start or ClearRecords
    size_t size = 0;            // bytes received for it
    uint8_t firstCounter = 0;   // counter byte of sub-packet 0
    uint8_t lastCounter = 0;    // counter byte of the last whole sub-packet
    size_t firstSample = 0;     // index of its first sample in the recorded samples (as if none were dropped)
    size_t sampleCount = 0;     // samples decoded from it (whole sub-packets only)
    double seconds = 0.0;       // play time of those samples
    std::vector<uint8_t> bytes; // raw bytes; kept for the first Config::maxPacketsWithBytes packets only
};

enum class ViolationKind : uint8_t {
    Truncated,    // packet shorter than 3200 bytes (offset = bytes received)
    Head,         // byte 64k is not 01
    HeadPadding,  // byte 64k+2 or 64k+3 is not 00 (other than the marker)
    Counter,      // counter byte did not run on by one (within the packet or from the previous packet)
    Marker,       // byte 386 is not "E"
    ReservedBits, // bits 4-5 of a sample's high byte are set
    Unrequested,  // a packet came while the stream ran and no data request was outstanding
    Overrun,      // real-time pacing: a packet came while both buffers were full (it is not played)
};
const char* ViolationKindName(ViolationKind kind);

struct PacketViolation {
    int64_t packet = 0;
    ViolationKind kind = ViolationKind::Truncated;
    size_t offset = 0; // byte offset in the packet
    int expected = -1; // expected byte value where one applies, else -1
    int actual = -1;   // actual byte value (or count for Truncated)
};

struct SampleRecord {
    // Decoded with the output's full scale R: (code-2048)*R/2000, in the high range (code-2048)/2. R is the
    // range byte of the last range command, or Config::dcChannelFullScale (4) while the variable DC offset
    // is on (from its command to the next "off").
    double value = 0.0;
    double time = 0.0; // seconds from the start of its stream to the start of this sample
    uint16_t code = 0; // 12-bit code
    uint8_t flags = 0; // kFlagHighRange | kFlagShortSample as received (plus reserved bits if any)
    uint8_t range = 0; // full scale R it was decoded with
    uint32_t packet = 0;
    bool HighRange() const { return (flags & kFlagHighRange) != 0; }
    bool Short() const { return (flags & kFlagShortSample) != 0; }
    double Duration() const { return Short() ? kShortSampleSeconds : kSampleSeconds; }
};

struct SentRecord {
    std::vector<uint8_t> bytes; // as written to the port
    Clock::time_point time;
    std::string what; // "identify", "serial", "block", "port-tag", "converter", "stored-block",
                      // "request", "error-request", "version", "sequence", "report2", "raw"
};

enum class EventKind : uint8_t {
    Plugged,
    Unplugged,
    StreamStarted,
    StreamStopped,
    Underrun,      // real-time pacing: the buffer ran dry while the stream ran
    OutputDropped, // the host did not read and the instrument's output buffer overflowed
};
const char* EventKindName(EventKind kind);

struct EventRecord {
    EventKind kind = EventKind::Plugged;
    Clock::time_point time;
};

struct Recording {
    std::vector<CommandRecord> commands;
    std::vector<PacketRecord> packets;
    std::vector<SampleRecord> samples;
    std::vector<PacketViolation> violations;
    std::vector<SentRecord> sent;
    std::vector<EventRecord> events;
    // Totals keep counting when the lists above are full.
    uint64_t totalPackets = 0;
    uint64_t totalSamples = 0;
    uint64_t droppedCommands = 0;
    uint64_t droppedSamples = 0;
    uint64_t droppedPackets = 0;

    size_t CountCommands(MessageKind kind) const;
    size_t CountCommands(MessageKind kind, MessageStatus status) const;
    const CommandRecord* LastCommand(MessageKind kind) const; // null when none
    size_t CountViolations(ViolationKind kind) const;
    size_t CountEvents(EventKind kind) const;
    size_t CountSent(const std::string& what) const;
    // Every byte received, packets excepted, in order (handy to compare whole exchanges).
    std::vector<uint8_t> CommandBytes() const;
};

} // namespace qoltsim
