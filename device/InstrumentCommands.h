#pragma once

#include <cstddef>

// Every message that crosses the instrument's port, defined once. Each message goes out in one
// _WriteCOMPort call; a reply is read after the message's fixed wait (ReadReply).

// ---- Host to instrument -----------------------------------------------------------------------------

// Identify query: the reply begins with the identify token.
constexpr unsigned char kCmdIdentify[] = {0xAA};
constexpr unsigned char kIdentifyToken[] = {'K', 'T', 'R', 'X'};
constexpr unsigned kIdentifyWaitMs = 5;
constexpr int kIdentifyReplyCapacity = 36;
constexpr int kIdentifyReplyMinimum = static_cast<int>(sizeof kIdentifyToken);

// Serial text: letters, digits and '-' of the reply form the serial number.
constexpr unsigned char kCmdSerialText[] = {'U'};
constexpr unsigned kSerialTextWaitMs = 5;
constexpr int kSerialTextReplyCapacity = 36;
constexpr int kSerialTextReplyMinimum = 4;

// Information query: the reply is the 64-byte information block.
constexpr unsigned char kCmdInformationQuery[] = {0x12, 0x55, 0xAA, 0x00, 0x00};
constexpr unsigned kInformationWaitMs = 20;
constexpr int kInformationBlockSize = 64;

// Port tag: 'D', 0x01 and the last character of the port name; the reply (up to 3 bytes) is not used.
constexpr unsigned char kPortTagHead = 'D';
constexpr unsigned char kPortTagMarker = 0x01;
constexpr int kPortTagSize = 3;
constexpr unsigned kPortTagWaitMs = 10;
constexpr int kPortTagReplyCapacity = 3;

// End of identification; no reply.
constexpr unsigned char kCmdEndOfIdentification[] = {0x08};

// Sample packet; the instrument's next data request follows.
constexpr int kSamplePacketSize = 3200;

// Stop stream; no reply.
constexpr unsigned char kCmdStopStream[] = {'S'};

// Output range: 0x00 and the range byte; no reply.
constexpr unsigned char kRangeHead = 0x00;
constexpr int kRangeSize = 2;

// Relay pattern: 0x07, three pattern bytes (high, middle, low), two zero bytes; no reply.
constexpr unsigned char kRelayHead = 0x07;
constexpr int kRelaySize = 6;

// Variable DC offset: 0x05 and the offset's high and low byte; no reply.
constexpr unsigned char kDCOffsetHead = 0x05;
constexpr int kDCOffsetSize = 3;

// DC offset off; no reply.
constexpr unsigned char kCmdDCOffsetOff[] = {0x06};

// Baseline-reset test on; no reply.
constexpr unsigned char kCmdBaselineResetOn[] = {0x05, 0x80, 0x00};

// Pacing level (older firmware): two messages, 0x09 and 0x04 each followed by a high and a low byte; no
// reply.
constexpr unsigned char kPacingLevelHeadFirst = 0x09;
constexpr unsigned char kPacingLevelHeadSecond = 0x04;
constexpr int kPacingLevelSize = 3;

// Converter reading: the reply holds 0xAD followed by a 16-bit value, high byte first.
constexpr unsigned char kCmdConverterReading[] = {0xAD, 0x00, 0x01, 0x00};
constexpr unsigned char kConverterReplyMarker = 0xAD;
constexpr unsigned kConverterWaitMs = 10;
constexpr int kConverterReplyCapacity = 36;

// Store information block: the 64-byte block with byte 3 set to 0xFF; the reply is the block as stored.
constexpr int kStoreBlockMarkerIndex = 3;
constexpr unsigned char kStoreBlockMarker = 0xFF;
constexpr unsigned kStoreBlockWaitMs = 20;

// Close; no reply.
constexpr unsigned char kCmdClose[] = {'C'};

// ---- Instrument to host, unsolicited (read by the poll thread) --------------------------------------

constexpr unsigned char kReportDataRequest = 'N';     // send the next packet
constexpr unsigned char kReportErrorSuffix = 'X';     // "N" "X": a data request with an error report
constexpr unsigned char kReportFirmwareVersion = '4'; // followed by six digits
constexpr int kFirmwareVersionDigits = 6;
constexpr unsigned char kReportSequence = 'S'; // 15 bytes in all, only counted
constexpr int kSequenceReportSize = 15;
constexpr unsigned char kReportShort = '2'; // 7 bytes in all, ignored
constexpr int kShortReportSize = 7;

// ---- Building parameterised messages --------------------------------------------------------------

void MakePortTagCommand(char lastCharacterOfPortName, unsigned char (&out)[kPortTagSize]);
void MakeRangeCommand(unsigned char range, unsigned char (&out)[kRangeSize]);
void MakeRelayCommand(unsigned char high, unsigned char middle, unsigned char low,
                      unsigned char (&out)[kRelaySize]);
void MakeDCOffsetCommand(unsigned char high, unsigned char low, unsigned char (&out)[kDCOffsetSize]);
// head is kPacingLevelHeadFirst or kPacingLevelHeadSecond.
void MakePacingLevelCommand(unsigned char head, unsigned char high, unsigned char low,
                            unsigned char (&out)[kPacingLevelSize]);
// Copies the block and sets the store marker.
void MakeStoreBlockCommand(const unsigned char (&block)[kInformationBlockSize],
                           unsigned char (&out)[kInformationBlockSize]);

// ---- Exchanging messages --------------------------------------------------------------------------

// A reply that has not fully come after its fixed wait is still collected for this long (USB latency, a
// busy host); a reply that comes in full never waits for it.
constexpr unsigned kReplyGraceMs = 250;

// Sends one message in one write. True when every byte was accepted.
bool SendCommand(const unsigned char* bytes, int length);
template <std::size_t N> bool SendCommand(const unsigned char (&bytes)[N]) {
    return SendCommand(bytes, static_cast<int>(N));
}

// Waits the message's fixed time, then reads at most `capacity` bytes of its reply. When fewer than
// `minimum` bytes came, goes on collecting them for up to kReplyGraceMs. Returns the count read (never
// more than `capacity`).
int ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs);

// True when the reply begins with the identify token.
bool IsIdentifyReply(const unsigned char* reply, int length);
