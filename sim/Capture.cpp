#include "sim/Capture.h"

#include "sim/CommandText.h"

#include <algorithm>
#include <cmath>

namespace qoltsim {

bool Capture::HasShortSamples() const {
    return std::any_of(samples.begin(), samples.end(), [](const CaptureSample& s) { return s.ticks != 2; });
}

size_t Capture::CountAnnotations(AnnotationKind kind) const {
    return static_cast<size_t>(std::count_if(annotations.begin(), annotations.end(),
                                             [kind](const CaptureAnnotation& a) { return a.kind == kind; }));
}

Capture BuildCapture(const Recording& recording, const std::vector<double>& pacingMarkers,
                     std::optional<double> limitSeconds) {
    Capture capture;
    const std::vector<SampleRecord>& in = recording.samples;

    // start[i]: tick at which recorded sample i starts; start[n]: end of the last one.
    std::vector<int64_t> start(in.size() + 1, 0);
    for (size_t i = 0; i < in.size(); ++i) {
        start[i + 1] = start[i] + (in[i].Short() ? 1 : 2);
    }

    int64_t limitTicks = start.back();
    if (limitSeconds) {
        const double ticks = std::floor(*limitSeconds * static_cast<double>(kTicksPerSecond) + 0.5);
        limitTicks = ticks <= 0.0 ? 0 : std::min<int64_t>(limitTicks, static_cast<int64_t>(ticks));
    }

    capture.samples.reserve(in.size());
    for (size_t i = 0; i < in.size() && start[i] < limitTicks; ++i) {
        CaptureSample s;
        s.tick = start[i];
        s.value = in[i].value;
        s.code = in[i].code;
        s.flags = in[i].flags;
        s.range = in[i].range;
        s.ticks = static_cast<uint8_t>(start[i + 1] - start[i]);
        capture.samples.push_back(s);
        capture.endTick = start[i + 1];
    }
    capture.unrecordedSamples = recording.droppedSamples;

    // Commands sit where the samples received before them end.
    int64_t received = 0;
    for (const CommandRecord& c : recording.commands) {
        if (c.kind == MessageKind::Packet) {
            if (c.packet >= 0 && static_cast<size_t>(c.packet) < recording.packets.size()) {
                const PacketRecord& p = recording.packets[static_cast<size_t>(c.packet)];
                const size_t end = std::min(p.firstSample + p.sampleCount, in.size());
                received = std::max(received, start[end]);
            }
            continue;
        }
        CaptureAnnotation a;
        a.tick = std::min(received, capture.endTick);
        a.kind = AnnotationKind::Command;
        a.text = CommandText(c);
        capture.annotations.push_back(std::move(a));
    }

    for (double seconds : pacingMarkers) {
        if (!std::isfinite(seconds) || seconds < 0.0) {
            continue;
        }
        const double ticks = std::floor(seconds * static_cast<double>(kTicksPerSecond) + 0.5);
        if (ticks >= static_cast<double>(capture.endTick)) {
            continue;
        }
        CaptureAnnotation a;
        a.tick = static_cast<int64_t>(ticks);
        a.kind = AnnotationKind::Pacing;
        a.text = "pacing pulse";
        capture.annotations.push_back(std::move(a));
    }
    std::stable_sort(capture.annotations.begin(), capture.annotations.end(),
                     [](const CaptureAnnotation& x, const CaptureAnnotation& y) { return x.tick < y.tick; });
    return capture;
}

} // namespace qoltsim
