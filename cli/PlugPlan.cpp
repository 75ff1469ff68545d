#include "PlugPlan.h"

namespace qoltcli {

void PlugPlan::Service(qoltsim::VirtualInstrument& instrument) {
    if (!afterPackets_ || replugged_) {
        return;
    }
    if (!unplugged_) {
        uint64_t packets = 0;
        instrument.WaitFor(
            [&](const qoltsim::Recording& r) {
                packets = r.totalPackets;
                return true;
            },
            std::chrono::milliseconds(0));
        if (UnplugDue(packets)) {
            instrument.Unplug();
            unplugged_ = true;
            unpluggedAt_ = std::chrono::steady_clock::now();
        }
        return;
    }
    if (std::chrono::steady_clock::now() - unpluggedAt_ >= replugAfter_) {
        instrument.Replug();
        replugged_ = true;
    }
}

} // namespace qoltcli
