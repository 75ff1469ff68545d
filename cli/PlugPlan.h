// Pulls the virtual instrument's plug after a number of packets and plugs it back some time later, as a
// test rig's USB cable might: call Service now and then.
#pragma once

#include "sim/VirtualInstrument.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace qoltcli {

class PlugPlan {
public:
    PlugPlan(std::optional<long long> unplugAfterPackets, long long replugAfterMs)
        : afterPackets_(unplugAfterPackets), replugAfter_(replugAfterMs) {}

    void Service(qoltsim::VirtualInstrument& instrument);
    // True when the plug is to be pulled at this packet count (for waits that should wake then).
    bool UnplugDue(uint64_t packets) const {
        return afterPackets_ && !unplugged_ && packets >= static_cast<uint64_t>(*afterPackets_);
    }

private:
    std::optional<long long> afterPackets_;
    std::chrono::milliseconds replugAfter_;
    bool unplugged_ = false;
    bool replugged_ = false;
    std::chrono::steady_clock::time_point unpluggedAt_{};
};

} // namespace qoltcli
