// The stored standard waveforms as linked into the library: layout, lengths, durations, extremes, peak
// positions and the shapes each waveform is known for.
#include "synth/tables/StandardTables.h"
#include "qolt_tables_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QOLT_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOLT_TEST_ASAN 1
#endif
#endif

namespace {

static_assert(sizeof(IEC227W) == 2640000, "IEC227W layout");
static_assert(sizeof(IEC227WL) == 80, "IEC227WL layout");
static_assert(sizeof(IEC251W) == 64000, "IEC251W layout");
static_assert(sizeof(ANE20000) == 36000, "ANE20000 layout");

using Samples = std::vector<std::int32_t>;

Samples Wave227(int w) {
    const std::int32_t* begin = IEC227W + w * kIEC227SlotSamples;
    return Samples(begin, begin + kIEC227SlotSamples);
}

Samples Row251(int w) {
    const std::int32_t* begin = IEC251W + w * kIEC251WaveSamples;
    return Samples(begin, begin + kIEC251WaveSamples);
}

Samples Lead(int lead) {
    const std::int32_t* begin = ANE20000 + lead * kANE20000LeadSamples;
    return Samples(begin, begin + kANE20000LeadSamples);
}

std::int32_t MinOf(const Samples& s, int first, int end) {
    return *std::min_element(s.begin() + first, s.begin() + end);
}

std::int32_t MaxOf(const Samples& s, int first, int end) {
    return *std::max_element(s.begin() + first, s.begin() + end);
}

// Index of the first sample holding the extreme of [first, end).
int ArgMax(const Samples& s, int first, int end) {
    return static_cast<int>(std::max_element(s.begin() + first, s.begin() + end) - s.begin());
}

int ArgMin(const Samples& s, int first, int end) {
    return static_cast<int>(std::min_element(s.begin() + first, s.begin() + end) - s.begin());
}

// --- Layout
// -------------------------------------------------------------------------------------------------

TEST(StandardTablesLayout, TablesAreAlignedForTheirElements) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(IEC227W) % alignof(std::int32_t), 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(IEC227WL) % alignof(double), 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(IEC251W) % alignof(std::int32_t), 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ANE20000) % alignof(std::int32_t), 0u);
}

// The linked data is exactly the raw little-endian images the build embedded: no offset, padding or byte
// order slip between the images and the symbols.
TEST(StandardTablesLayout, LinkedDataEqualsTheRawImages) {
    struct Image {
        const char* file;
        const void* data;
        std::size_t bytes;
    };
    const Image images[] = {{"IEC227W.bin", IEC227W, sizeof(IEC227W)},
                            {"IEC227WL.bin", IEC227WL, sizeof(IEC227WL)},
                            {"IEC251W.bin", IEC251W, sizeof(IEC251W)},
                            {"ANE20000.bin", ANE20000, sizeof(ANE20000)}};
    for (const Image& image : images) {
        SCOPED_TRACE(image.file);
        std::ifstream in(std::string(QOLT_TABLES_RAW_DIR) + "/" + image.file, std::ios::binary);
        ASSERT_TRUE(in.good());
        std::vector<unsigned char> raw((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        ASSERT_EQ(raw.size(), image.bytes);
        // Decode the image as little-endian whatever the host's byte order.
        const auto* linked = static_cast<const unsigned char*>(image.data);
        if (image.data == static_cast<const void*>(IEC227WL)) {
            for (std::size_t i = 0; i < 10; ++i) {
                std::uint64_t bits = 0;
                for (int b = 7; b >= 0; --b) {
                    bits = (bits << 8) | raw[i * 8 + static_cast<std::size_t>(b)];
                }
                double value;
                std::memcpy(&value, &bits, sizeof value);
                EXPECT_EQ(IEC227WL[i], value) << "duration " << i;
            }
        } else {
            std::size_t mismatches = 0;
            for (std::size_t i = 0; i < image.bytes / 4; ++i) {
                const std::uint32_t u = raw[4 * i] | raw[4 * i + 1] << 8 | raw[4 * i + 2] << 16 |
                                        static_cast<std::uint32_t>(raw[4 * i + 3]) << 24;
                std::int32_t v;
                std::memcpy(&v, &u, sizeof v);
                std::int32_t l;
                std::memcpy(&l, linked + 4 * i, sizeof l);
                mismatches += v != l;
            }
            EXPECT_EQ(mismatches, 0u);
        }
    }
}

// Read-only initialised data: the pages holding the tables are not writable.
TEST(StandardTablesLayout, TablesLiveInReadOnlyMemory) {
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) {
        GTEST_SKIP() << "no /proc/self/maps on this system";
    }
    const void* tables[] = {IEC227W, IEC227WL, IEC251W, ANE20000};
    int found = 0;
    char line[512];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long long from = 0, to = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s", &from, &to, perms) != 3) {
            continue;
        }
        for (const void* table : tables) {
            const auto at = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(table));
            if (at >= from && at < to) {
                ++found;
                EXPECT_EQ(perms[1], '-') << line;
            }
        }
    }
    std::fclose(maps);
    EXPECT_EQ(found, 4);
}

template <typename T> [[gnu::noinline]] T ReadAt(const T* volatile base, std::ptrdiff_t index) {
    return base[index];
}

// A read just before or just past a table (an index that escaped its clamp) stops the sanitizer build
// instead of quietly returning a neighbouring table's samples.
TEST(StandardTablesLayoutDeathTest, ReadOutsideATableIsCaughtUnderAddressSanitizer) {
#if !defined(QOLT_TEST_ASAN)
    GTEST_SKIP() << "needs AddressSanitizer";
#else
    const char* const caught = "use-after-poison|global-buffer-overflow";
    EXPECT_DEATH(ReadAt(IEC227W, kIEC227WaveCount * kIEC227SlotSamples), caught);
    EXPECT_DEATH(ReadAt(IEC227WL, kIEC227WaveCount), caught);
    EXPECT_DEATH(ReadAt(IEC251W, kIEC251WaveCount * kIEC251WaveSamples), caught);
    EXPECT_DEATH(ReadAt(ANE20000, kANE20000LeadCount * kANE20000LeadSamples), caught);
#if defined(QOLT_TABLES_GUARDED)
    // Plain compiled arrays have redzones only behind them; the assembled tables have guards on both sides.
    EXPECT_DEATH(ReadAt(IEC227W, -1), caught);
    EXPECT_DEATH(ReadAt(IEC227WL, -1), caught);
    EXPECT_DEATH(ReadAt(IEC251W, -1), caught);
    EXPECT_DEATH(ReadAt(ANE20000, -1), caught);
#endif
    // The first and last samples themselves are fine.
    EXPECT_EQ(ReadAt(IEC227W, kIEC227WaveCount * kIEC227SlotSamples - 1), 0);
    EXPECT_EQ(ReadAt(ANE20000, 0), 0);
#endif
}

// --- IEC227W / IEC227WL ------------------------------------------------------------------------------------

struct Wave227Figures {
    int count;
    double duration; // as printed, to six decimals
    int min;
    int max;
};

const Wave227Figures kWave227[kIEC227WaveCount] = {
    {43081, 59.834722, -531, 608}, {43142, 59.919444, -415, 1038}, {43144, 59.922222, -715, 515},
    {34511, 47.931944, -338, 708}, {65211, 90.570833, -775, 750},  {65214, 90.575, -1550, 1050},
    {65207, 90.565277, -388, 787}, {65238, 90.608333, -1512, 662}, {65239, 90.609722, -3025, 1325},
    {65237, 90.606944, -756, 606},
};

TEST(IEC227W, DurationIsTheSampleCountOver720Exactly) {
    for (int w = 0; w < kIEC227WaveCount; ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(IEC227WL[w], kWave227[w].count / 720.0);
        EXPECT_NEAR(IEC227WL[w], kWave227[w].duration, 1e-6);
        EXPECT_EQ(std::lround(IEC227WL[w] * 720.0), kWave227[w].count);
    }
}

TEST(IEC227W, ExtremesOfEachWaveform) {
    for (int w = 0; w < kIEC227WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Wave227(w);
        EXPECT_EQ(MinOf(s, 0, kWave227[w].count), kWave227[w].min);
        EXPECT_EQ(MaxOf(s, 0, kWave227[w].count), kWave227[w].max);
    }
}

TEST(IEC227W, SlotIsZeroPastTheWaveformsEnd) {
    for (int w = 0; w < kIEC227WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Wave227(w);
        const auto nonzero =
            std::count_if(s.begin() + kWave227[w].count, s.end(), [](std::int32_t v) { return v != 0; });
        EXPECT_EQ(nonzero, 0);
    }
}

// Function 8 on waveform 3 repeats every 47.931944... s; the last sample it plays is index 34510.
TEST(IEC227W, Waveform3EndsAtSample34510) {
    EXPECT_NEAR(IEC227WL[3], 47.931944, 1e-6);
    const int last = static_cast<int>(std::lround(IEC227WL[3] * 720.0)) - 1;
    EXPECT_EQ(last, 34510);
    // Half a sample before the cycle ends, the playing index is the last sample.
    EXPECT_EQ(static_cast<int>(720.0 * (IEC227WL[3] - 0.5 / 720.0)), 34510);
}

// The waveforms are played in a loop: signal runs up to each waveform's end (no long silent stretch that
// would betray a wrong length), and the end joins the start without a step larger than the waveform's own
// steepest step.
TEST(IEC227W, WaveformsFillTheirLengthAndLoopSmoothly) {
    for (int w = 0; w < kIEC227WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Wave227(w);
        const int count = kWave227[w].count;
        int flat = 0, longest = 0;
        std::int32_t steepest = 0;
        for (int i = 0; i < 2 * count; ++i) { // twice round the loop, to see across the join
            const std::int32_t a = s[static_cast<std::size_t>(i % count)];
            const std::int32_t b = s[static_cast<std::size_t>((i + 1) % count)];
            flat = a == b ? flat + 1 : 0;
            longest = std::max(longest, flat);
            if ((i + 1) % count != 0) {
                steepest = std::max(steepest, std::abs(b - a));
            }
        }
        EXPECT_LT(longest, 2 * 720) << "flat for " << longest << " samples";
        EXPECT_LE(std::abs(s[0] - s[static_cast<std::size_t>(count - 1)]), steepest);
    }
}

// --- IEC251W -----------------------------------------------------------------------------------------------

struct Row251Figures {
    int min;
    int max;
};

const Row251Figures kRow251[kIEC251WaveCount] = {
    {-500, 500},   {-1000, 1000}, {-1500, 1500}, {-2000, 2000}, {-3000, 3000}, {-5000, 5000},
    {-2000, 2000}, {0, 2000},     {-200, 2000},  {0, 2000},     {-2000, 400},  {-2000, 400},
    {-2000, 400},  {-2000, 2000}, {-2000, 2000}, {-4000, 4000},
};

bool TwoComplexes(int w) {
    return w == 6 || w == 14;
}

TEST(IEC251W, ExtremesOfEachWaveform) {
    for (int w = 0; w < kIEC251WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        EXPECT_EQ(MinOf(s, 0, 1000), kRow251[w].min);
        EXPECT_EQ(MaxOf(s, 0, 1000), kRow251[w].max);
    }
}

// Waveform 5 spans the full default output range: -5.0 to +5.0 in the sample scale.
TEST(IEC251W, Waveform5ReachesFiveInTheSampleScale) {
    const Samples s = Row251(5);
    EXPECT_EQ(MinOf(s, 0, 1000) / 1000.0, -5.0);
    EXPECT_EQ(MaxOf(s, 0, 1000) / 1000.0, 5.0);
}

TEST(IEC251W, PWavePeaksNear141At50ms) {
    for (int w = 0; w < kIEC251WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        for (int start : TwoComplexes(w) ? std::vector<int>{0, 500} : std::vector<int>{0}) {
            const int peak = ArgMax(s, start, start + 120);
            EXPECT_NEAR(s[static_cast<std::size_t>(peak)], 141, 2);
            EXPECT_NEAR(peak - start, 50, 5);
            EXPECT_GT(MinOf(s, start, start + 120), -1) << "P wave upright";
        }
    }
}

// The QRS complex: the sample of largest magnitude of each complex lies at about 200 ms.
TEST(IEC251W, QrsComplexAt200ms) {
    for (int w = 0; w < kIEC251WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        for (int start : TwoComplexes(w) ? std::vector<int>{0, 500} : std::vector<int>{0}) {
            const int hi = ArgMax(s, start, start + 500);
            const int lo = ArgMin(s, start, start + 500);
            const int peak =
                std::abs(s[static_cast<std::size_t>(hi)]) >= std::abs(s[static_cast<std::size_t>(lo)]) ? hi
                                                                                                       : lo;
            EXPECT_GE(peak - start, 190);
            EXPECT_LE(peak - start, 230);
        }
    }
}

TEST(IEC251W, UprightTWaveAround450ms) {
    for (int w = 0; w < kIEC251WaveCount; ++w) {
        if (TwoComplexes(w)) {
            continue;
        }
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        const int peak = ArgMax(s, 300, 1000);
        EXPECT_GT(s[static_cast<std::size_t>(peak)], 0);
        EXPECT_NEAR(peak, 450, 30);
    }
}

// Between the waves the signal is at rest, 0: at both ends of the cycle (so the loop joins without a step),
// in the PR segment, and after the T wave.
TEST(IEC251W, AtRestBetweenTheWaves) {
    for (int w = 0; w < kIEC251WaveCount; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        EXPECT_EQ(s[0], 0);
        EXPECT_EQ(s[999], 0);
        EXPECT_EQ(MinOf(s, 110, 161), 0);
        EXPECT_EQ(MaxOf(s, 110, 161), 0);
        if (!TwoComplexes(w)) {
            EXPECT_EQ(MinOf(s, 700, 1000), 0);
            EXPECT_EQ(MaxOf(s, 700, 1000), 0);
        }
    }
}

// Waveforms 0 to 5: the QRS sets the range and the T wave scales with it.
TEST(IEC251W, TWaveScalesWithTheQrsAmplitude) {
    const double ratio3 = MaxOf(Row251(3), 300, 1000) / 2000.0;
    EXPECT_GT(ratio3, 0.05);
    for (int w = 0; w <= 5; ++w) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        const int amplitude = kRow251[w].max;
        EXPECT_EQ(s[static_cast<std::size_t>(ArgMax(s, 0, 1000))], amplitude);
        EXPECT_NEAR(MaxOf(s, 300, 1000) / static_cast<double>(amplitude), ratio3, 0.005);
    }
}

// Waveforms 6 and 14: two identical complexes per second, each holding the waveform's extremes.
TEST(IEC251W, TwoComplexesPerSecond) {
    for (int w : {6, 14}) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        for (int i = 0; i < 500; ++i) {
            ASSERT_EQ(s[static_cast<std::size_t>(i)], s[static_cast<std::size_t>(i + 500)]) << "sample " << i;
        }
        EXPECT_EQ(MinOf(s, 0, 500), kRow251[w].min);
        EXPECT_EQ(MaxOf(s, 0, 500), kRow251[w].max);
        EXPECT_EQ(ArgMax(s, 500, 1000) - ArgMax(s, 0, 500), 500);
    }
}

TEST(IEC251W, Waveform7HasNoNegativePart) {
    const Samples s = Row251(7);
    EXPECT_EQ(MinOf(s, 0, 1000), 0);
    EXPECT_NEAR(ArgMax(s, 0, 1000), 200, 10);
}

// ST segment: flat at its level from 60 to 90 ms after the QRS.
TEST(IEC251W, StSegmentLevels) {
    const struct {
        int w;
        int level;
    } cases[] = {{8, -200}, {9, 200}, {10, 0}, {11, -200}, {12, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.w);
        const Samples s = Row251(c.w);
        EXPECT_EQ(MinOf(s, 260, 291), c.level);
        EXPECT_EQ(MaxOf(s, 260, 291), c.level);
    }
}

// Waveforms 8 and 9 keep an upright QRS; 10 to 12 invert it (a negative complex with no positive part).
TEST(IEC251W, UprightAndInvertedQrs) {
    for (int w : {8, 9}) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        EXPECT_EQ(s[static_cast<std::size_t>(ArgMax(s, 170, 240))], 2000);
    }
    for (int w : {10, 11, 12}) {
        SCOPED_TRACE(w);
        const Samples s = Row251(w);
        EXPECT_EQ(MinOf(s, 170, 240), -2000);
        EXPECT_LE(MaxOf(s, 170, 226), 0);
    }
}

// Waveform 13: inverted QRS, -1900 at 200 ms, trough of -2000 just after, then an upright T wave.
TEST(IEC251W, Waveform13InvertedQrsWithUprightT) {
    const Samples s = Row251(13);
    EXPECT_EQ(s[200], -1900);
    const int trough = ArgMin(s, 0, 1000);
    EXPECT_EQ(s[static_cast<std::size_t>(trough)], -2000);
    EXPECT_GT(trough, 200);
    EXPECT_LE(trough, 210);
    EXPECT_LT(trough, ArgMax(s, 0, 500)) << "the negative deflection comes first";
    EXPECT_GT(MaxOf(s, 350, 600), 100);
    EXPECT_NEAR(ArgMax(s, 350, 1000), 450, 30);
}

// Waveform 14: the same inverted complex twice per second.
TEST(IEC251W, Waveform14InvertedQrsTwicePerSecond) {
    const Samples s = Row251(14);
    for (int start : {0, 500}) {
        EXPECT_EQ(MinOf(s, start + 150, start + 260), -2000);
        EXPECT_LT(ArgMin(s, start, start + 500), ArgMax(s, start, start + 500));
    }
}

TEST(IEC251W, Waveform15QrsOf4000) {
    const Samples s = Row251(15);
    EXPECT_EQ(s[static_cast<std::size_t>(ArgMax(s, 0, 1000))], 4000);
    EXPECT_NEAR(ArgMax(s, 0, 1000), 200, 10);
    EXPECT_EQ(MinOf(s, 180, 260), -4000);
}

// --- ANE20000 ----------------------------------------------------------------------------------------------

struct LeadFigures {
    int min;
    int max;
    int peak_first;
    int peak_last;
};

const LeadFigures kLead[kANE20000LeadCount] = {
    {-197, 831, 195, 225},  {-215, 1180, 195, 225}, {-39, 397, 195, 225},
    {-1204, 316, 195, 225}, {-1929, 819, 483, 483}, {-1201, 1004, 195, 225},
    {-639, 1781, 195, 225}, {-333, 1821, 195, 225}, {-186, 1506, 195, 225},
};

TEST(ANE20000, LeadExtremes) {
    for (int lead = 0; lead < kANE20000LeadCount; ++lead) {
        SCOPED_TRACE(lead);
        const Samples s = Lead(lead);
        EXPECT_EQ(MinOf(s, 0, 1000), kLead[lead].min);
        EXPECT_EQ(MaxOf(s, 0, 1000), kLead[lead].max);
    }
}

TEST(ANE20000, LeadsStartAtZero) {
    for (int lead = 0; lead < kANE20000LeadCount; ++lead) {
        EXPECT_EQ(ANE20000[lead * kANE20000LeadSamples], 0) << "lead " << lead;
    }
}

// Every sample that reaches a lead's maximum lies in the peak window: 195 to 225, lead 4 exactly 483.
TEST(ANE20000, PeakPositions) {
    for (int lead = 0; lead < kANE20000LeadCount; ++lead) {
        SCOPED_TRACE(lead);
        const Samples s = Lead(lead);
        const std::int32_t top = MaxOf(s, 0, 1000);
        for (int i = 0; i < 1000; ++i) {
            if (s[static_cast<std::size_t>(i)] == top) {
                EXPECT_GE(i, kLead[lead].peak_first);
                EXPECT_LE(i, kLead[lead].peak_last);
            }
        }
    }
}

} // namespace
