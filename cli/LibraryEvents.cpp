#include "LibraryEvents.h"

#include "qolt_api.h"

namespace qoltcli {

namespace {

constexpr size_t kMaxMarkers = 1000000;

void OnGraph(double, double) {
    Events().graphPoints.fetch_add(1, std::memory_order_relaxed);
}

void OnFrequency(double hz) {
    Events().frequency.store(hz);
    Events().frequencyReported.store(true);
}

void OnMainFunction(int function) {
    if (function == 0) {
        Events().outputOff.store(true);
    }
}

void OnPacing(double time, double) {
    Events().AddPacingPoint(time);
}

void OnError(int) {
    Events().errorReports.fetch_add(1);
}

} // namespace

LibraryEvents& Events() {
    static LibraryEvents events;
    return events;
}

void LibraryEvents::AddPacingPoint(double time) {
    std::lock_guard<std::mutex> lock(markersMu_);
    // Four points draw one marker: (t, 0), (t, a), (t + 0.01, a), (t + 0.01, 0); the first is the start.
    if (pacingPoints_++ % 4 == 0 && markers_.size() < kMaxMarkers) {
        markers_.push_back(time);
    }
}

std::vector<double> LibraryEvents::PacingMarkers() const {
    std::lock_guard<std::mutex> lock(markersMu_);
    return markers_;
}

size_t LibraryEvents::PacingMarkerCount() const {
    std::lock_guard<std::mutex> lock(markersMu_);
    return markers_.size();
}

void LibraryListener(bool connected) {
    LibraryEvents& e = Events();
    const bool was = e.linked.exchange(connected);
    if (was && !connected) {
        e.linkLosses.fetch_add(1);
    } else if (!was && connected) {
        e.linkReturns.fetch_add(1);
    }
}

void RegisterLibraryCallbacks() {
    RegisterTimeAmpCB(OnGraph);
    RegisterSyncFreqCB(OnFrequency);
    RegisterSyncMainFuncCB(OnMainFunction);
    RegisterPacingTimeAmpCB(OnPacing);
    RegisterErrorCallback(OnError);
}

} // namespace qoltcli
