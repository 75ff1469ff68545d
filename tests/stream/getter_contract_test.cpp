// Every getter read in a loop while setting calls run on another thread and the instrument requests at
// full speed: each read returns a value some setting call could have stored (never a torn or
// out-of-range one), and under ThreadSanitizer no getter races a setter, Change or the poll thread
// (each getter is also read alone for a while, so that no lock taken between two reads hides a race).
#include "stream/StreamTestSupport.h"

#include <atomic>
#include <cmath>
#include <iterator>
#include <random>
#include <string>
#include <thread>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

class GetterContract : public StreamFixture {};

// One setting call of those that store what the getters return.
void AnySettingCall(std::mt19937& rng) {
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto real = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    static const int kFunctions[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 14, 15};
    switch (pick(24)) {
    case 0:
        SetOutputFunc(kFunctions[pick(13)]);
        break;
    case 1:
        SetAmplitude(real(-2000.0, 2000.0));
        break;
    case 2:
        SetFrequency(real(0.1, 60.0));
        break;
    case 3:
        SetPulseWidth(real(2.0, 300.0));
        break;
    case 4:
        SetDCOffset(pick(3) * 300 - 300);
        break;
    case 5:
        SetDCOffsetVariableMode(pick(2) == 0);
        break;
    case 6:
        SetOutputLead(pick(9), pick(2) == 0);
        break;
    case 7:
        SetInputImpedanceMode(pick(2) == 0);
        break;
    case 8:
        SetDCOffsetCommonMode(pick(2) == 0);
        break;
    case 9:
        SetQRSDuration(real(5.0, 200.0));
        break;
    case 10:
        SetTWave(real(0.0, 2.5));
        break;
    case 11:
        SetBaselineResetTest(pick(5));
        break;
    case 12:
        SetDynamicRangeTest(pick(2) == 0, real(0.0, 5.0), real(10.0, 50.0));
        break;
    case 13:
        SetSpecialWave227(static_cast<SpecialWave227_E>(pick(10)));
        break;
    case 14:
        SetSpecialWave251(static_cast<SpecialWave251_E>(pick(16)));
        break;
    case 15:
        SetANE20000Lead(pick(9));
        break;
    case 16:
        SetPacingPulseMode(static_cast<PacingPulse_E>(pick(3)));
        break;
    case 17:
        SetPacingAmplitude(real(-700.0, 700.0));
        break;
    case 18:
        SetPacingDuration(real(0.1, 3.0));
        break;
    case 19:
        SetPacingRate(static_cast<unsigned>(10 + pick(291)));
        break;
    case 20:
        SetOvershootTimeConstant(static_cast<unsigned>(pick(101)));
        break;
    case 21:
        SetPacingOvershootAmp(real(-5.0, 5.0));
        break;
    case 22:
        SetECG2_27_AAMIDriftTest(pick(2) == 0);
        if (pick(2) == 0)
            SetECG2_27_Noise(static_cast<ECG2_27_NoiseFreq_E>(pick(3)), real(0.01, 0.2));
        break;
    default:
        SetFreqScanSine(pick(4) == 0, real(0.1, 10.0), real(10.0, 100.0), 1 + pick(20));
        break;
    }
}

bool Within(double v, double lo, double hi) {
    return std::isfinite(v) && v >= lo && v <= hi;
}

// Reads every getter once; counts what lies outside every value a setting call may store.
int ReadEveryGetter() {
    int bad = 0;
    auto check = [&bad](bool ok) { bad += ok ? 0 : 1; };
    check(GetOutputFunc() >= 0 && GetOutputFunc() <= 15);
    check(Within(GetAmplitude(), -2000.0, 2000.0));
    check(Within(GetFrequency(), 0.05, 500.0));
    check(GetDCOffset() >= -1000 && GetDCOffset() <= 1000);
    (void)GetDCOffsetVariableMode();
    for (int lead = 0; lead < 9; ++lead)
        (void)GetOutputLead(lead);
    check(Within(GetPulseWidth(), 2.0, 300.0));
    (void)GetInputImpedanceMode();
    check(GetBaselineResetTest() >= 0 && GetBaselineResetTest() <= 4);
    check(GetSpecialWave227() >= 0 && GetSpecialWave227() < 16);
    check(GetSpecialWave251() >= 0 && GetSpecialWave251() < 16);
    check(GetANE20000Lead() >= 0 && GetANE20000Lead() < 9);
    (void)GetDCOffsetCommonMode();
    (void)GetDCOffsetCommoneMode();
    check(GetPacingPulseMode() >= PacingPulse_Single && GetPacingPulseMode() <= PacingPulse_Pair250ms);
    check(Within(GetQRSDuration(), 5.0, 200.0));
    check(Within(GetTWave(), 0.0, 2.5));
    check(Within(GetPacingAmplitude(), -700.0, 700.0));
    check(Within(GetPacingDuration(), 0.1, 3.0));
    check(GetPacingRate() >= 10 && GetPacingRate() <= 300);
    check(GetOvershootTimeConstant() <= 100);
    check(Within(GetPacingOvershootAmp(), -5.0, 5.0));
    check(GetECG2_27_NoiseFreq() >= 0 && GetECG2_27_NoiseFreq() <= 2);
    check(Within(GetECG2_27_NoiseAmp(), 0.0, 0.2));
    (void)GetECG2_27_AAMIDriftTest();
    (void)GetDynamicRangeTest();
    check(Within(GetDynamicRangeTestAmp(), 0.0, 5.0));
    check(Within(GetDynamicRangeTestFreq(), 0.0, 50.0));
    (void)GetFreqScanSine();
    check(Within(GetFreqScanSineStartFreq(), 0.0, 500.0));
    check(Within(GetFreqScanSineStopFreq(), 0.0, 500.0));
    check(GetFreqScanSineDuration() >= 0);
    (void)GetFreqScanECG();
    check(Within(GetTimePeriod(), 1e-3, 100.0));
    check(IsConnected());
    (void)IsQOLT300R();
    (void)IsVersion4();
    check(std::string(GetSerialNumber()).size() < 32);
    check(std::string(GetFWVersion()).size() < 32);
    check(std::string(GetHWVersion()).size() < 32);
    check(std::string(GetHWInfo()).size() < 32);
    check(!std::string(GetUSBPort()).empty());
    check(std::string(GetSDKVersion()) == "1.7.7");
    return bad;
}

// Each getter alone, for the race check: a thread that calls other getters between two reads of one
// would take the library lock in between, and the lock's ordering could hide an unguarded read from
// ThreadSanitizer.
struct NamedGetter {
    const char* name;
    void (*read)();
};
#define QOLT_GETTER(call)                                                                                    \
    {                                                                                                        \
#call, [] { (void)call; }                                                                            \
    }
const NamedGetter kGetters[] = {
    QOLT_GETTER(GetOutputFunc()),
    QOLT_GETTER(GetAmplitude()),
    QOLT_GETTER(GetFrequency()),
    QOLT_GETTER(GetDCOffset()),
    QOLT_GETTER(GetDCOffsetVariableMode()),
    QOLT_GETTER(GetOutputLead(3)),
    QOLT_GETTER(GetPulseWidth()),
    QOLT_GETTER(GetInputImpedanceMode()),
    QOLT_GETTER(GetBaselineResetTest()),
    QOLT_GETTER(GetSpecialWave227()),
    QOLT_GETTER(GetSpecialWave251()),
    QOLT_GETTER(GetANE20000Lead()),
    QOLT_GETTER(GetDCOffsetCommonMode()),
    QOLT_GETTER(GetPacingPulseMode()),
    QOLT_GETTER(GetQRSDuration()),
    QOLT_GETTER(GetTWave()),
    QOLT_GETTER(GetPacingAmplitude()),
    QOLT_GETTER(GetPacingDuration()),
    QOLT_GETTER(GetPacingRate()),
    QOLT_GETTER(GetOvershootTimeConstant()),
    QOLT_GETTER(GetPacingOvershootAmp()),
    QOLT_GETTER(GetECG2_27_NoiseFreq()),
    QOLT_GETTER(GetECG2_27_NoiseAmp()),
    QOLT_GETTER(GetECG2_27_AAMIDriftTest()),
    QOLT_GETTER(GetDynamicRangeTest()),
    QOLT_GETTER(GetDynamicRangeTestAmp()),
    QOLT_GETTER(GetDynamicRangeTestFreq()),
    QOLT_GETTER(GetFreqScanSine()),
    QOLT_GETTER(GetFreqScanSineStartFreq()),
    QOLT_GETTER(GetFreqScanSineStopFreq()),
    QOLT_GETTER(GetFreqScanSineDuration()),
    QOLT_GETTER(GetFreqScanECG()),
    QOLT_GETTER(GetTimePeriod()),
    QOLT_GETTER(IsQOLT300R()),
    QOLT_GETTER(IsVersion4()),
};
#undef QOLT_GETTER

TEST_F(GetterContract, EveryGetterWhileSettersRunAndTheInstrumentRequestsAtFullSpeed) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(5, kWait));
    const uint64_t before = vi.Snapshot().totalPackets;

    std::atomic<bool> stop{false};
    std::atomic<long> setterCalls{0};
    std::thread setter([&] {
        std::mt19937 rng(7u);
        while (!stop) {
            AnySettingCall(rng);
            ++setterCalls;
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 200)(rng)));
        }
    });
    long reads = 0;
    int bad = 0;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < end) {
        bad += ReadEveryGetter();
        ++reads;
        if (reads % 200 == 0)
            (void)GetAD(); // the one getter that asks the instrument
    }
    // Then each getter alone for a while, as the setting calls go on. The yield lets the setter at the
    // lock: a locked getter in a tight loop would otherwise keep it (the lock is not fair).
    const long callsBeforeAlone = setterCalls.load();
    for (const NamedGetter& g : kGetters) {
        const auto alone = std::chrono::steady_clock::now() + 40ms;
        while (std::chrono::steady_clock::now() < alone) {
            g.read();
            std::this_thread::yield();
        }
    }
    EXPECT_GT(setterCalls.load(), callsBeforeAlone + static_cast<long>(std::size(kGetters)));
    stop = true;
    setter.join();

    EXPECT_EQ(bad, 0);
    EXPECT_GT(reads, 10);
    EXPECT_GT(setterCalls.load(), 10);
    const auto r = vi.Snapshot();
    EXPECT_GT(r.totalPackets, before); // the stream ran while the getters read
    EXPECT_TRUE(r.violations.empty());
}

} // namespace
