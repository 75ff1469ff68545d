// Checks one sample packet against the wire format and decodes its samples.
#pragma once

#include "sim/Protocol.h"
#include "sim/Records.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qoltsim {

struct PacketCheck {
    std::vector<PacketViolation> violations; // packet index left 0: the caller fills it in
    uint8_t firstCounter = 0;
    uint8_t lastCounter = 0; // counter of the last checked sub-packet
    size_t subPackets = 0;   // sub-packets checked and decodable
};

// Checks the first `subPackets` sub-packets of `bytes` (and the length, and the marker when it was
// received). `expectedFirst` is the counter the first sub-packet must carry (none for a stream's first).
PacketCheck CheckPacket(const std::vector<uint8_t>& bytes, size_t subPackets,
                        std::optional<uint8_t> expectedFirst);

// The value a sample code stands for: high range (code-2048)/2, else (code-2048)*range/2000.
double DecodeSampleValue(uint16_t code, uint8_t flags, uint8_t range);

// Appends the samples of the first `subPackets` sub-packets; `time` advances by each sample's duration.
void DecodeSamples(const std::vector<uint8_t>& bytes, size_t subPackets, uint8_t range, uint32_t packet,
                   double& time, std::vector<SampleRecord>& out);

} // namespace qoltsim
