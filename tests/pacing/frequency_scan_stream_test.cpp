// Frequency scans end to end against the virtual instrument in fast mode (minutes of output in well under
// a second): the sweep as decoded, the frequency after every packet, the end of a scan.
#include "pacing/PacingStreamSupport.h"

#include "qolt_api.h"

#include <cmath>
#include <thread>
#include <vector>

using namespace streamtest;
using namespace pacingtest;
using qoltsim::Pacing;

namespace {

constexpr double kTwoPi = 6.2831853; // the synthesis' own constant

// The stop command came after every packet (commands are recorded in the order received).
bool StopCameAfterTheLastPacket(const qoltsim::VirtualInstrument& vi) {
    const auto commands = vi.Commands();
    long lastPacket = -1;
    long stop = -1;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].kind == MessageKind::Packet) {
            lastPacket = static_cast<long>(i);
        }
        if (commands[i].kind == MessageKind::StopStream && stop < 0) {
            stop = static_cast<long>(i);
        }
    }
    return lastPacket >= 0 && stop > lastPacket;
}

class FrequencyScanStream : public StreamFixture {
protected:
    void SetUp() override {
        StreamFixture::SetUp();
        RegisterSyncFreqCB(RecordFreq);
        RegisterSyncMainFuncCB(RecordMainFunc);
    }
    // Waits until the main-function callback has heard `count` calls and the last was 0.
    static bool WaitForOutputOff(size_t count) {
        return MainFuncSyncs().WaitForCount(count) && MainFuncSyncs().Values().back() == 0;
    }
};

TEST_F(FrequencyScanStream, SineScanSweepsToTheStopInThirtySecondsThenSwitchesOff) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetAmplitude(2000.0), 0); // peak 5.0: full scale
    ASSERT_EQ(SetFreqScanSine(true, 0.5, 150.0, 30), 0);
    ASSERT_TRUE(WaitForOutputOff(2));
    EXPECT_EQ(MainFuncSyncs().Values(), (std::vector<int>{1, 0}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    // The callback hears 0 before the change takes effect; the flags clear with the stop.
    ASSERT_TRUE(Eventually([] { return !GetFreqScanECG(); }));

    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.violations.empty());
    const auto samples = FirstStream(r);
    size_t packets = 0;
    for (const auto& p : r.packets) {
        packets += p.stream == r.packets.front().stream ? 1 : 0;
    }
    // About 30 s: 100 packets of 0.3 s, the end test running after each.
    EXPECT_GE(packets, 100u);
    EXPECT_LE(packets, 101u);
    EXPECT_EQ(samples.size(), packets * 1500);
    // Nothing after the stop.
    EXPECT_TRUE(StopCameAfterTheLastPacket(vi));
    EXPECT_EQ(r.totalPackets, packets);

    // The frequency after every packet: 1500 steps of 149.5/30/5000 Hz each.
    const auto reported = FreqSyncs().Values();
    ASSERT_EQ(reported.size(), packets);
    const double step = 149.5 / 30.0 / 5000.0;
    double f = 0.5;
    for (size_t k = 0; k < packets; ++k) {
        for (int i = 0; i < 1500; ++i) {
            f += step;
        }
        EXPECT_NEAR(reported[k], f, 1e-9) << k;
    }
    EXPECT_GE(std::floor(reported.back() * 100000.0 + 0.5) / 100000.0, 150.0);
    EXPECT_LT(std::floor(reported[packets - 2] * 100000.0 + 0.5) / 100000.0, 150.0);

    // The decoded sine against one whose phase advances by the frequency in force at each sample: the
    // phase is kept across every step (a jump would show as a wrong value from there on).
    double phase = 0.0;
    f = 0.5;
    const double code = 5.0 / 2000.0;
    size_t worst = 0;
    double worstError = 0.0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double error = std::fabs(samples[i].value - 5.0 * std::sin(kTwoPi * phase));
        if (error > worstError) {
            worstError = error;
            worst = i;
        }
        phase += f * 0.0002;
        phase -= std::floor(phase);
        f += step;
    }
    EXPECT_LE(worstError, 1.5 * code) << "at sample " << worst;

    // Off now: the scan flags are cleared and the frequency belongs to the application again.
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_EQ(SetFrequency(20.0), 0);
    // The scan's settings stay stored.
    EXPECT_EQ(GetFreqScanSineStartFreq(), 0.5);
    EXPECT_EQ(GetFreqScanSineStopFreq(), 150.0);
    EXPECT_EQ(GetFreqScanSineDuration(), 30);
}

TEST_F(FrequencyScanStream, WhileAScanRunsSetFrequencyIsRefused) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFreqScanSine(true, 10.0, 20.0, 60), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 2);
    // Each packet's scan step is reported once the packet is out, which the instrument may see first.
    ASSERT_TRUE(FreqSyncs().WaitForCount(3));
    EXPECT_TRUE(GetFreqScanSine());
    const double next = GetFrequency();
    EXPECT_GT(next, 10.0);
    EXPECT_EQ(SetFrequency(15.0), -3);
    EXPECT_EQ(GetFrequency(), next);
    // Outside the range: refused, nothing stored and no change asked for.
    EXPECT_EQ(SetFrequency(900.0), -2);
    EXPECT_EQ(SetFrequency(0.01), -2);
    EXPECT_EQ(GetFrequency(), next);
    // The scan goes on from where it was.
    Request(vi, 1);
    ASSERT_TRUE(FreqSyncs().WaitForCount(4));
    const auto reported = FreqSyncs().Values();
    ASSERT_EQ(reported.size(), 4u);
    EXPECT_NEAR(reported[3] - reported[2], 1500 * 10.0 / 60.0 / 5000.0, 1e-9);
}

TEST_F(FrequencyScanStream, StopAtStartFromAStoppedOutputEndsAfterTheFirstPacket) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(GetOutputFunc(), 0);
    // No request needed: the first packet, the end test in it, "S".
    ASSERT_EQ(SetFreqScanSine(true, 100.0, 100.0, 30), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(Eventually([&] { return !vi.IsStreaming(); }));
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_EQ(MainFuncSyncs().Values(), (std::vector<int>{1, 0}));
    EXPECT_EQ(FreqSyncs().Values(), std::vector<double>{100.0});
    // A data request now gets nothing.
    ASSERT_TRUE(vi.SendDataRequest(false));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 1u);
    EXPECT_TRUE(StopCameAfterTheLastPacket(vi));
    EXPECT_EQ(SetFrequency(20.0), 0);
}

TEST_F(FrequencyScanStream, StopBelowStartEndsAfterTheFirstPacketToo) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFreqScanSine(true, 150.0, 0.5, 10), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(vi.SendDataRequest(false));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 1u);
    EXPECT_TRUE(StopCameAfterTheLastPacket(vi));
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(MainFuncSyncs().Values(), (std::vector<int>{1, 0}));
    ASSERT_EQ(FreqSyncs().Count(), 1u);
    // Falling, but far from zero: 1500 steps of -0.00299 Hz.
    EXPECT_NEAR(FreqSyncs().Values()[0], 150.0 - 1500 * 149.5 / 10.0 / 5000.0, 1e-9);
}

TEST_F(FrequencyScanStream, EndingByTheApplicationStopsTheOutput) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFreqScanSine(true, 1.0, 100.0, 20), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetFreqScanSine(false, 1.0, 100.0, 20), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(MainFuncSyncs().Values(), (std::vector<int>{1, 0}));
    // Ending again with the output already off changes nothing and calls back nothing.
    ASSERT_EQ(SetFreqScanSine(false, 1.0, 100.0, 20), 0);
    EXPECT_EQ(MainFuncSyncs().Count(), 2u);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::StopStream), 1u);
}

TEST_F(FrequencyScanStream, ResetEndsAScan) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFreqScanSine(true, 2.0, 40.0, 20), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ResetQOLT();
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(GetOutputFunc(), 0);
    // The reset's own SetFrequency(10) went through once the scan had ended.
    EXPECT_EQ(GetFrequency(), 10.0);
    EXPECT_EQ(GetFreqScanSineStartFreq(), 0.5);
    EXPECT_EQ(GetFreqScanSineStopFreq(), 150.0);
    EXPECT_EQ(GetFreqScanSineDuration(), 30);
    ASSERT_TRUE(vi.SendDataRequest(false));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 2u);
}

TEST_F(FrequencyScanStream, EcgScanSweepsTheComplexRateAndEnds) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetFreqScanECG(true), 0);
    EXPECT_EQ(GetFreqScanSineStartFreq(), 0.05);
    EXPECT_EQ(GetFreqScanSineStopFreq(), 0.5);
    EXPECT_EQ(GetFreqScanSineDuration(), 30);
    EXPECT_EQ(GetOutputFunc(), 7);
    ASSERT_TRUE(WaitForOutputOff(2));
    EXPECT_EQ(MainFuncSyncs().Values(), (std::vector<int>{7, 0}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(Eventually([] { return !GetFreqScanECG(); }));
    const auto reported = FreqSyncs().Values();
    EXPECT_GE(reported.size(), 100u);
    EXPECT_LE(reported.size(), 101u);
    EXPECT_NEAR(reported[0], 0.05 + 1500 * 3e-6, 1e-9);
    EXPECT_GE(reported.back(), 0.5 - 1e-5);
    EXPECT_FALSE(GetFreqScanECG());
    // The getters keep the ECG scan's range after its end.
    EXPECT_EQ(GetFreqScanSineStartFreq(), 0.05);
    EXPECT_EQ(GetFreqScanSineStopFreq(), 0.5);
}

} // namespace
