// Splits the host's byte stream into messages by their first byte and length, whatever the read boundaries.
// A sample packet is framed by its heads and counters, so that a cut packet costs one record and the
// stream falls back into step at the next packet head; bytes that start no message are recorded as such.
#pragma once

#include "sim/Protocol.h"
#include "sim/Records.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace qoltsim {

struct ParsedMessage {
    MessageKind kind = MessageKind::Unknown;
    MessageStatus status = MessageStatus::Ok;
    std::vector<uint8_t> bytes;
    Clock::time_point time;
    size_t trustedSubPackets = 0; // packets: leading sub-packets that surely belong to this packet
};

class HostStreamParser {
public:
    explicit HostStreamParser(std::chrono::milliseconds timeout) : timeout_(timeout) {}

    // First three bytes of the block the instrument holds: a message starting with them and 0xFF is a block.
    void SetBlockSignature(const std::array<uint8_t, 3>& signature) { signature_ = signature; }

    void Feed(const uint8_t* data, size_t size, Clock::time_point now, std::vector<ParsedMessage>& out);
    // Records an unfinished message once no byte has come for the time-out.
    void Expire(Clock::time_point now, std::vector<ParsedMessage>& out);
    // When Expire next has something to do; empty while nothing is pending.
    std::optional<Clock::time_point> Deadline() const;
    void Reset();
    size_t Pending() const { return buffer_.size() - head_; }

private:
    // Takes one message from the front; false when more bytes are needed. `force`: no more bytes will come.
    bool TakeOne(bool force, Clock::time_point now, std::vector<ParsedMessage>& out);
    bool TakePacket(bool force, Clock::time_point now, std::vector<ParsedMessage>& out);
    void Emit(MessageKind kind, MessageStatus status, size_t length, Clock::time_point now,
              std::vector<ParsedMessage>& out, size_t trusted = 0);
    void Drain(bool force, Clock::time_point now, std::vector<ParsedMessage>& out);

    std::chrono::milliseconds timeout_;
    std::array<uint8_t, 3> signature_{{0x12, 0x55, 0xAA}};
    std::vector<uint8_t> buffer_;
    size_t head_ = 0;
    Clock::time_point lastByte_{};
};

} // namespace qoltsim
