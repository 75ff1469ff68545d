// Output functions that read stored samples: the standard tables (8, 9, 15) and the recording (13).
// Every read must stay inside the selected waveform, whatever the phase.
#include "api/SessionState.h"
#include "core/InstrumentFacts.h"
#include "device/DeviceState.h"
#include "qolt_api.h"
#include "synth/MainFunctionVoltage.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"
#include "synth/tables/StandardTables.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double At227(int w, int i) {
    return IEC227W[w * kIEC227SlotSamples + i] / 1000.0;
}
double At251(int w, int i) {
    return IEC251W[w * kIEC251WaveSamples + i] / 1000.0;
}
double AtANE(int lead, int i) {
    return ANE20000[lead * kANE20000LeadSamples + i] / 1000.0;
}

struct Lookup {
    double t;
    int index; // the sample the phase selects
};

TEST(StoredWaveforms, IEC251ReadsTheSampleOfTheMillisecondAndClampsAtTheEnd) {
    const std::vector<Lookup> rows = {
        {0.0, 0},      {0.0009, 0},    {0.001, 1}, {0.0015, 1},   {0.2, 200},
        {0.9995, 999}, {0.99999, 999}, {1.0, 999}, {4.9998, 999}, // T of a 0.2 Hz function: clamped
        {-0.001, 0},   {kNaN, 0},
    };
    g_MainOutput = 9;
    for (int w : {0, 5, 15}) {
        g_nSpecialWaveform = w;
        for (const auto& r : rows) {
            EXPECT_EQ(_GetMainFunctionVoltage(r.t), At251(w, r.index)) << w << " " << r.t;
        }
    }
}

TEST(StoredWaveforms, ANE20000ReadsTheLeadAndClampsAtTheEnd) {
    const std::vector<Lookup> rows = {
        {0.0, 0}, {0.195, 195}, {0.483, 483}, {0.9995, 999}, {1.0, 999}, {3.0, 999},
    };
    g_MainOutput = 15;
    for (int lead : {0, 4, 8}) {
        g_nANE20000ChannelNumber = lead;
        for (const auto& r : rows) {
            EXPECT_EQ(_GetMainFunctionVoltage(r.t), AtANE(lead, r.index)) << lead << " " << r.t;
        }
    }
    for (int lead : {9, -1}) {
        g_nANE20000ChannelNumber = lead;
        EXPECT_EQ(_GetMainFunctionVoltage(0.5), 0.0) << lead;
    }
}

TEST(StoredWaveforms, IEC227ReadsAt720PerSecondInsideItsSlot) {
    const std::vector<Lookup> rows = {
        {0.0, 0},
        {1.0 / 720.0 * 0.999, 0},
        {1.0, 720},
        {34510.5 / 720.0, 34510}, // last sample of waveform 3
        {65999.5 / 720.0, 65999},
        {100.0, 65999}, // past the slot: its last sample, never the next waveform
    };
    g_MainOutput = 8;
    for (int w : {0, 3, 9}) {
        g_nSpecialWaveform = w;
        for (const auto& r : rows) {
            EXPECT_EQ(_GetMainFunctionVoltage(r.t), At227(w, r.index)) << w << " " << r.t;
        }
    }
}

TEST(StoredWaveforms, IEC227WithAnIndexOfTheOtherTableIsSilent) {
    // The index is shared with function 9, which has 16 waveforms.
    g_Callback = [](bool) {};
    ASSERT_EQ(SetSpecialWave251(SpecialWave251_12), 0);
    ASSERT_EQ(SetOutputFunc(8), 0);
    for (double t : {0.0, 0.5, 30.0, 91.0}) {
        EXPECT_EQ(_GetMainFunctionVoltage(t), 0.0) << t;
    }
    g_nSpecialWaveform = -1;
    EXPECT_EQ(_GetMainFunctionVoltage(0.5), 0.0);
    g_MainOutput = 9;
    g_nSpecialWaveform = 16;
    EXPECT_EQ(_GetMainFunctionVoltage(0.5), 0.0);
}

class Recording : public ::testing::Test {
protected:
    void Load(std::vector<double> samples, double rate) {
        samples_ = std::move(samples);
        g_pECGFile = samples_.empty() ? nullptr : samples_.data();
        g_nECGFileSize = static_cast<int>(samples_.size());
        g_fECGFileFreq = rate;
        g_MainOutput = 13;
    }
    void TearDown() override {
        g_pECGFile = nullptr;
        g_nECGFileSize = 0;
    }
    std::vector<double> samples_;
};

TEST_F(Recording, SamplesScaledByTheModelGain) {
    Load({1000.0, -2000.0, 500.0, 250.0}, 4.0);
    struct Row {
        bool model300R;
        double t;
        double expected;
    };
    for (const Row& r :
         {Row{false, 0.0, 5.0}, Row{false, 0.2499, 5.0}, Row{false, 0.25, -10.0}, Row{false, 0.6, 2.5},
          Row{false, 0.99, 1.25}, Row{true, 0.0, 2.5}, Row{true, 0.3, -5.0}}) {
        s_bIs300R = r.model300R;
        EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(r.t), r.expected) << r.model300R << " " << r.t;
    }
    s_bIs300R = false;
}

TEST_F(Recording, ReadsStayInsideTheBuffer) {
    Load({100.0, 200.0, 300.0}, 2.5);
    EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(0.5), 1.0);  // sample 1
    EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(1.2), 1.5);  // the cycle's end, rounded up to T
    EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(50.0), 1.5); // T of an earlier function
    EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(kNaN), 0.5);
}

TEST_F(Recording, NothingToPlayGivesZero) {
    struct Row {
        const char* what;
        std::vector<double> samples;
        int size;
        double rate;
    };
    const std::vector<Row> rows = {
        {"null buffer", {}, 0, 250.0},     {"null buffer, stale size", {}, 10, 250.0},
        {"zero size", {1000.0}, 0, 250.0}, {"negative size", {1000.0}, -5, 250.0},
        {"zero rate", {1000.0}, 1, 0.0},   {"negative rate", {1000.0}, 1, -250.0},
        {"NaN rate", {1000.0}, 1, kNaN},
    };
    for (const auto& r : rows) {
        Load(r.samples, r.rate);
        g_nECGFileSize = r.size;
        for (double t : {0.0, 0.5}) {
            EXPECT_EQ(_GetMainFunctionVoltage(t), 0.0) << r.what << " " << t;
        }
    }
}

} // namespace
