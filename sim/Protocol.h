// The instrument's side of the serial protocol: what the host may send and what the instrument sends back.
// Kept apart from the library on purpose, so that the virtual instrument checks the library against its own
// reading of the wire format rather than against the library's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qoltsim {

// Sample packet layout.
constexpr size_t kPacketSize = 3200;
constexpr size_t kSubPacketSize = 64;
constexpr size_t kSubPackets = kPacketSize / kSubPacketSize; // 50
constexpr size_t kSamplesPerSubPacket = 30;
constexpr size_t kSamplesPerPacket = kSubPackets * kSamplesPerSubPacket; // 1500
constexpr uint8_t kPacketHead = 0x01;
constexpr size_t kMarkerOffset = 386; // "E", byte 2 of sub-packet 6
constexpr uint8_t kMarker = 0x45;
constexpr uint8_t kFlagHighRange = 0x40;
constexpr uint8_t kFlagShortSample = 0x80;
constexpr uint8_t kReservedSampleBits = 0x30;
constexpr double kSampleSeconds = 0.0002;
constexpr double kShortSampleSeconds = 0.0001;

constexpr size_t kBlockSize = 64;
constexpr uint8_t kStoreMarker = 0xFF; // byte 3 of a block to be stored

// Every message the host sends, told apart by its first byte (the stored block by its first four).
enum class MessageKind : uint8_t {
    Identify,            // AA
    SerialQuery,         // "U"
    InfoQuery,           // 12 55 AA 00 00
    PortTag,             // "D" 01 c
    EndOfIdentification, // 08
    Packet,              // 01 ... (3200 bytes)
    StopStream,          // "S"
    Range,               // 00 rr
    Relays,              // 07 hh mm ll 00 00
    VariableDcOffset,    // 05 hh ll
    DcOffsetOff,         // 06
    BaselineResetOn,     // 05 80 00
    PacingLevelLow,      // 09 hh ll
    PacingLevelHigh,     // 04 hh ll
    ConverterQuery,      // AD 00 01 00
    StoreBlock,          // the 64-byte information block, byte 3 = FF
    Close,               // "C"
    Unknown,             // bytes that start no message
};
constexpr size_t kMessageKindCount = static_cast<size_t>(MessageKind::Unknown) + 1;

const char* MessageKindName(MessageKind kind);

// Length of the message that starts with this byte, or 0 when no message starts with it. 05 covers both
// the variable offset and the baseline-reset command; the stored block is recognised separately.
size_t MessageLengthForFirstByte(uint8_t first);
MessageKind MessageKindForFirstByte(uint8_t first);

} // namespace qoltsim
