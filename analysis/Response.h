// The analysis of a device's recording of a plan: the marker located, then for each step over its
// measurement window the mean and peak-to-valley, and for sine steps the fitted amplitude and phase and
// the response relative to the reference step; each figure checked against the step's limits.
#pragma once

#include "analysis/MarkerSearch.h"
#include "analysis/Signal.h"

#include <optional>
#include <string>
#include <vector>

namespace qoltanalysis {

enum class Figure { ResponseDb, ResponsePercent, ResponseRatio, Amplitude, PhaseDeg, Mean, PeakToValley };

// "response_db", "response_percent", "response_ratio", "amplitude", "phase_deg", "mean", "peak_to_valley".
const char* FigureName(Figure figure);
std::optional<Figure> FigureByName(const std::string& name);
// Every figure name, comma-separated (for messages).
std::string FigureNames();
// Figures that only sine steps have.
bool SineFigure(Figure figure);

struct Limit {
    Figure figure = Figure::ResponseDb;
    std::optional<double> min, max; // inclusive
};

struct StepSpec {
    std::string label;
    bool played = true; // false: the run ended before this step
    bool sine = false;  // a sine at `frequency`: amplitude, phase and response are measured
    double frequency = 0.0;
    double sourceAmplitude = 0.0; // amplitude setting: responses compare amplitude per setting
    // Seconds of output from the marker's start: where the sine began (its phase origin) and the window.
    double waveformStart = 0.0;
    double windowStart = 0.0;
    double windowEnd = 0.0;
    std::vector<Limit> limits;
};

struct PlanSpec {
    SquareBurst marker;
    double markerStart = 0.0; // seconds of output where the marker's burst begins
    std::vector<StepSpec> steps;
    int reference = -1; // index of the reference step, -1: none (no responses)
};

enum class Verdict { NotJudged, Pass, Fail, NotPlayed };
const char* VerdictName(Verdict verdict); // "-", "pass", "FAIL", "not played"

struct Check {
    Figure figure = Figure::ResponseDb;
    double value = 0.0;
    std::optional<double> min, max;
    bool pass = false;
};

struct StepResult {
    StepSpec spec;
    double windowStart = 0.0, windowEnd = 0.0; // seconds of the recording
    size_t samples = 0;
    double mean = 0.0, peakToValley = 0.0;
    std::optional<double> amplitude, phaseDeg, residualRms;
    std::optional<double> ratio, percent, db;
    std::vector<Check> checks;
    Verdict verdict = Verdict::NotJudged;

    std::optional<double> Value(Figure figure) const;
};

struct Report {
    MarkerMatch marker;
    double recordingSeconds = 0.0;
    std::vector<StepResult> steps;
    int reference = -1;
    bool passed = true; // no step failed
};

// False, with `error` set, when the marker is not found, the recording ends before a played step's
// window does, or a sine step cannot be measured at the recording's rate.
bool Analyze(const Signal& signal, const PlanSpec& plan, Report& report, std::string& error);

} // namespace qoltanalysis
