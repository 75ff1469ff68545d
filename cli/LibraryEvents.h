// What the library tells the tool through its callbacks, kept in atomics: callbacks come from the
// library's threads (some with its lock held), so they only count and store.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qoltcli {

struct LibraryEvents {
    std::atomic<uint64_t> graphPoints{0}; // one per fifth sample sent
    std::atomic<double> frequency{0.0};   // last frequency the library reported changing to
    std::atomic<bool> frequencyReported{false};
    std::atomic<bool> outputOff{false}; // the library switched the output off (scan or playback ended)
    std::atomic<uint64_t> linkLosses{0};
    std::atomic<uint64_t> linkReturns{0};
    std::atomic<bool> linked{false};
    std::atomic<uint64_t> errorReports{0};

    uint64_t SamplesSent() const { return graphPoints.load() * 5; }

    // Pulse starts in seconds of the library's output time.
    std::vector<double> PacingMarkers() const;
    size_t PacingMarkerCount() const;

    void AddPacingPoint(double time);

private:
    mutable std::mutex markersMu_;
    std::vector<double> markers_;
    uint64_t pacingPoints_ = 0;
};

LibraryEvents& Events();

// Registers the waveform, frequency, output-function, pacing-marker and error callbacks.
void RegisterLibraryCallbacks();
// The connection listener (for Init).
void LibraryListener(bool connected);

} // namespace qoltcli
