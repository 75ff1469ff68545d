#include "sim/PacketDecoder.h"

namespace qoltsim {

PacketCheck CheckPacket(const std::vector<uint8_t>& bytes, size_t subPackets,
                        std::optional<uint8_t> expectedFirst) {
    PacketCheck check;
    auto add = [&](ViolationKind kind, size_t offset, int expected, int actual) {
        PacketViolation v;
        v.kind = kind;
        v.offset = offset;
        v.expected = expected;
        v.actual = actual;
        check.violations.push_back(v);
    };
    if (bytes.size() < kPacketSize) {
        add(ViolationKind::Truncated, bytes.size(), static_cast<int>(kPacketSize),
            static_cast<int>(bytes.size()));
    }
    if (subPackets > bytes.size() / kSubPacketSize) {
        subPackets = bytes.size() / kSubPacketSize;
    }
    check.subPackets = subPackets;
    if (bytes.size() >= 2) {
        check.firstCounter = bytes[1];
        check.lastCounter = bytes[1];
    }
    std::optional<uint8_t> expected = expectedFirst;
    for (size_t k = 0; k < subPackets; ++k) {
        const size_t base = k * kSubPacketSize;
        if (bytes[base] != kPacketHead) {
            add(ViolationKind::Head, base, kPacketHead, bytes[base]);
        }
        const uint8_t counter = bytes[base + 1];
        if (expected && counter != *expected) {
            add(ViolationKind::Counter, base + 1, *expected, counter);
        }
        expected = static_cast<uint8_t>(counter + 1); // one fault is one violation, not one per sub-packet
        check.lastCounter = counter;
        for (size_t i = 2; i < 4; ++i) {
            if (base + i == kMarkerOffset) {
                continue;
            }
            if (bytes[base + i] != 0x00) {
                add(ViolationKind::HeadPadding, base + i, 0, bytes[base + i]);
            }
        }
        for (size_t s = 0; s < kSamplesPerSubPacket; ++s) {
            const size_t at = base + 4 + 2 * s;
            if ((bytes[at] & kReservedSampleBits) != 0) {
                add(ViolationKind::ReservedBits, at, bytes[at] & ~kReservedSampleBits, bytes[at]);
            }
        }
    }
    if (bytes.size() > kMarkerOffset && bytes[kMarkerOffset] != kMarker) {
        add(ViolationKind::Marker, kMarkerOffset, kMarker, bytes[kMarkerOffset]);
    }
    return check;
}

double DecodeSampleValue(uint16_t code, uint8_t flags, uint8_t range) {
    const double centred = static_cast<double>(code) - 2048.0;
    if ((flags & kFlagHighRange) != 0) {
        return centred / 2.0;
    }
    return centred * static_cast<double>(range) / 2000.0;
}

void DecodeSamples(const std::vector<uint8_t>& bytes, size_t subPackets, uint8_t range, uint32_t packet,
                   double& time, std::vector<SampleRecord>& out) {
    if (subPackets > bytes.size() / kSubPacketSize) {
        subPackets = bytes.size() / kSubPacketSize;
    }
    for (size_t k = 0; k < subPackets; ++k) {
        for (size_t s = 0; s < kSamplesPerSubPacket; ++s) {
            const size_t at = k * kSubPacketSize + 4 + 2 * s;
            SampleRecord r;
            r.flags = static_cast<uint8_t>(bytes[at] & 0xF0);
            r.code = static_cast<uint16_t>(((bytes[at] & 0x0F) << 8) | bytes[at + 1]);
            r.range = range;
            r.packet = packet;
            r.value = DecodeSampleValue(r.code, r.flags, range);
            r.time = time;
            time += r.Duration();
            out.push_back(r);
        }
    }
}

} // namespace qoltsim
