// Captures of the virtual instrument: the timeline built from a recording, and the EDF+ (read back by
// EDFlib), CSV and SVG files written from it.
#include "CaptureReaders.h"
#include "CliTestSupport.h"
#include "sim/Capture.h"
#include "sim/CaptureFiles.h"
#include "sim/CommandText.h"
#include "sim/CsvCaptureWriter.h"
#include "sim/EdfCaptureWriter.h"
#include "sim/PacketDecoder.h"
#include "sim/SvgPlotWriter.h"
#include "sim/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

using qoltsim::AnnotationKind;
using qoltsim::Capture;
using qoltsim::CommandRecord;
using qoltsim::MessageKind;
using qoltsim::PacketRecord;
using qoltsim::Recording;
using qoltsim::SampleRecord;

struct Sample {
    uint16_t code;
    uint8_t flags = 0;
    uint8_t range = 5;
};

// A recording as the instrument makes it: commands in arrival order, packets among them.
class RecordingBuilder {
public:
    RecordingBuilder& Command(MessageKind kind, std::vector<uint8_t> bytes) {
        CommandRecord c;
        c.kind = kind;
        c.bytes = std::move(bytes);
        rec_.commands.push_back(c);
        return *this;
    }
    RecordingBuilder& Packet(const std::vector<Sample>& samples) {
        PacketRecord p;
        p.index = static_cast<int64_t>(rec_.packets.size());
        p.firstSample = rec_.samples.size();
        p.sampleCount = samples.size();
        for (const Sample& s : samples) {
            SampleRecord r;
            r.code = s.code;
            r.flags = s.flags;
            r.range = s.range;
            r.value = qoltsim::DecodeSampleValue(s.code, s.flags, s.range);
            rec_.samples.push_back(r);
            p.seconds += r.Duration();
        }
        CommandRecord c;
        c.kind = MessageKind::Packet;
        c.packet = p.index;
        rec_.commands.push_back(c);
        rec_.packets.push_back(p);
        rec_.totalPackets = rec_.packets.size();
        rec_.totalSamples = rec_.samples.size();
        return *this;
    }
    const Recording& Get() const { return rec_; }

private:
    Recording rec_;
};

std::vector<Sample> Sine(size_t n, double amplitudeCodes, double period, uint8_t range = 5) {
    std::vector<Sample> s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back(
            {static_cast<uint16_t>(2048 + std::lround(amplitudeCodes * std::sin(2 * M_PI * i / period))), 0,
             range});
    }
    return s;
}

class CaptureFiles : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path() + "/" + name; }
    qoltsim::TempDir dir_{"capture-test"};
};

TEST(CaptureTimeline, SamplesTicksCommandsAndMarkers) {
    RecordingBuilder b;
    b.Command(MessageKind::Range, {0x00, 5});
    b.Packet({{2048}, {2148, qoltsim::kFlagShortSample}, {2248}});
    b.Command(MessageKind::Relays, {0x07, 0x00, 0x00, 0x20, 0x00, 0x00});
    b.Packet({{2348}, {2448}});
    b.Command(MessageKind::StopStream, {'S'});
    const Capture c = qoltsim::BuildCapture(b.Get(), {0.0002, 0.0007, 5.0});

    ASSERT_EQ(c.samples.size(), 5u);
    const int64_t starts[] = {0, 2, 3, 5, 7};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(c.samples[i].tick, starts[i]) << i;
    }
    EXPECT_EQ(c.samples[1].ticks, 1);
    EXPECT_EQ(c.endTick, 9);
    EXPECT_TRUE(c.HasShortSamples());
    EXPECT_DOUBLE_EQ(c.samples[1].value, 100 * 5 / 2000.0);

    // Commands where the samples received before them end; markers at their time; 5 s is past the end.
    std::vector<std::pair<int64_t, std::string>> got;
    for (const auto& a : c.annotations) {
        got.emplace_back(a.tick, a.text);
    }
    const std::vector<std::pair<int64_t, std::string>> want = {
        {0, "range 5"}, {2, "pacing pulse"}, {5, "relays 0x000020"}, {7, "pacing pulse"}, {9, "stop-stream"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(c.CountAnnotations(AnnotationKind::Pacing), 2u);
}

TEST(CaptureTimeline, LimitKeepsSamplesStartingBeforeItAndMovesLaterCommandsToTheEnd) {
    RecordingBuilder b;
    b.Packet(Sine(100, 200, 20));
    b.Command(MessageKind::StopStream, {'S'});
    const Capture c = qoltsim::BuildCapture(b.Get(), {0.001, 0.0195}, 0.0101);
    ASSERT_EQ(c.samples.size(), 51u); // starts 0.0000 .. 0.0100
    EXPECT_EQ(c.endTick, 102);
    ASSERT_EQ(c.annotations.size(), 2u);
    EXPECT_EQ(c.annotations[0].tick, 10);
    EXPECT_EQ(c.annotations[1].text, "stop-stream");
    EXPECT_EQ(c.annotations[1].tick, c.endTick);
}

TEST(CaptureTimeline, CommandTexts) {
    struct Case {
        MessageKind kind;
        std::vector<uint8_t> bytes;
        qoltsim::MessageStatus status;
        const char* text;
    };
    const Case cases[] = {
        {MessageKind::Range, {0x00, 0x04}, qoltsim::MessageStatus::Ok, "range 4"},
        {MessageKind::Relays, {0x07, 0x00, 0x40, 0x22, 0, 0}, qoltsim::MessageStatus::Ok, "relays 0x004022"},
        {MessageKind::VariableDcOffset,
         {0x05, 0x0B, 0xE8},
         qoltsim::MessageStatus::Ok,
         "variable-dc-offset 3048"},
        {MessageKind::PacingLevelHigh,
         {0x04, 0x0A, 0x00},
         qoltsim::MessageStatus::Ok,
         "pacing-level-high 2560"},
        {MessageKind::Close, {'C'}, qoltsim::MessageStatus::Ok, "close"},
        {MessageKind::Relays, {0x07, 0x00}, qoltsim::MessageStatus::Incomplete, "relays (incomplete)"},
        {MessageKind::Unknown, {0xF0, 0x0D}, qoltsim::MessageStatus::Ok, "unknown F0 0D"},
    };
    for (const Case& k : cases) {
        CommandRecord c;
        c.kind = k.kind;
        c.bytes = k.bytes;
        c.status = k.status;
        EXPECT_EQ(qoltsim::CommandText(c), k.text);
    }
}

TEST_F(CaptureFiles, EdfOfOneRangeHoldsTheDecodedSamplesExactly) {
    RecordingBuilder b;
    b.Command(MessageKind::Range, {0x00, 5});
    b.Packet(Sine(1500, 2000, 250)); // full scale: codes 48..4048
    b.Packet(Sine(1500, 2047, 33));  // and beyond: 1..4095
    b.Command(MessageKind::StopStream, {'S'});
    const Capture c = qoltsim::BuildCapture(b.Get(), {0.25});
    std::string error;
    ASSERT_TRUE(qoltsim::WriteEdfCapture(Path("a.edf"), c, {}, error)) << error;

    const clitest::EdfContent e = clitest::ReadEdf(Path("a.edf"));
    ASSERT_EQ(e.openError, 0);
    EXPECT_EQ(e.fileType, EDFLIB_FILETYPE_EDFPLUS);
    EXPECT_EQ(e.signals, 1);
    EXPECT_EQ(e.label, "Output");
    EXPECT_DOUBLE_EQ(e.rate, 5000.0);
    EXPECT_DOUBLE_EQ(e.recordSeconds, 1.0);
    EXPECT_EQ(e.records, 1);
    ASSERT_EQ(e.samples.size(), 5000u); // 0.6 s, then the record filled up
    for (size_t i = 0; i < c.samples.size(); ++i) {
        ASSERT_NEAR(e.samples[i], c.samples[i].value, 1e-9) << i;
    }
    std::vector<std::pair<long long, std::string>> want = {
        {0, "range 5"}, {2500000, "pacing pulse"}, {6000000, "stop-stream"}, {6000000, "capture end"}};
    EXPECT_EQ(e.annotations, want);
}

TEST_F(CaptureFiles, EdfWithShortSamplesIsWrittenAtTenKilohertz) {
    RecordingBuilder b;
    std::vector<Sample> s = Sine(1500, 500, 100);
    for (size_t i = 600; i < 605; ++i) {
        s[i].flags = qoltsim::kFlagShortSample;
    }
    b.Packet(s);
    const Capture c = qoltsim::BuildCapture(b.Get());
    std::string error;
    ASSERT_TRUE(qoltsim::WriteEdfCapture(Path("s.edf"), c, {}, error)) << error;
    const clitest::EdfContent e = clitest::ReadEdf(Path("s.edf"));
    ASSERT_EQ(e.openError, 0);
    EXPECT_DOUBLE_EQ(e.rate, 10000.0);
    const std::vector<double> want = clitest::ExpectedEdfSamples(c);
    ASSERT_EQ(want.size(), 2995u);
    ASSERT_EQ(e.samples.size(), 10000u); // the record filled up
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_NEAR(e.samples[i], want[i], 1e-9) << i;
    }
    for (size_t i = want.size(); i < e.samples.size(); ++i) {
        EXPECT_NEAR(e.samples[i], want.back(), 1e-9) << "filled with the last value";
    }
    ASSERT_FALSE(e.annotations.empty());
    EXPECT_EQ(e.annotations.back(), std::make_pair(2995LL * 1000, std::string("capture end")));
}

TEST_F(CaptureFiles, EdfMixingRangesStaysWithinHalfAStep) {
    // High-range pacing pulses of 700 next to a small waveform: no common 16-bit grid exists.
    RecordingBuilder b;
    std::vector<Sample> s = Sine(3000, 300, 500, 4);
    for (size_t i = 1000; i < 1010; ++i) {
        s[i] = {static_cast<uint16_t>(2048 + 1400), qoltsim::kFlagHighRange, 4};
    }
    s[1010] = {2048, static_cast<uint8_t>(qoltsim::kFlagHighRange | qoltsim::kFlagShortSample), 4};
    b.Packet(s);
    const Capture c = qoltsim::BuildCapture(b.Get());
    std::string error;
    ASSERT_TRUE(qoltsim::WriteEdfCapture(Path("m.edf"), c, {}, error)) << error;
    const clitest::EdfContent e = clitest::ReadEdf(Path("m.edf"));
    ASSERT_EQ(e.openError, 0);
    const std::vector<double> want = clitest::ExpectedEdfSamples(c);
    ASSERT_GE(e.samples.size(), want.size());
    EXPECT_LT(e.bitValue, 701.0 / 32768);
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_NEAR(e.samples[i], want[i], e.bitValue / 2 + 1e-9) << i;
    }
    EXPECT_NEAR(*std::max_element(e.samples.begin(), e.samples.end()), 700.0, e.bitValue);
}

TEST_F(CaptureFiles, EdfKeepsEveryAnnotationOfABurstWithItsOnset) {
    RecordingBuilder b;
    for (int i = 0; i < 300; ++i) {
        b.Command(MessageKind::Range, {0x00, static_cast<uint8_t>(i % 2 == 0 ? 5 : 4)});
    }
    for (int p = 0; p < 10; ++p) {
        b.Packet(Sine(1500, 100, 50)); // 3 s: three records
    }
    const Capture c = qoltsim::BuildCapture(b.Get());
    std::string error;
    ASSERT_TRUE(qoltsim::WriteEdfCapture(Path("burst.edf"), c, {}, error)) << error;
    const clitest::EdfContent e = clitest::ReadEdf(Path("burst.edf"));
    ASSERT_EQ(e.openError, 0);
    ASSERT_EQ(e.annotations.size(), 300u);
    for (const auto& a : e.annotations) {
        EXPECT_EQ(a.first, 0);
    }
    // Spread over the records (12 bytes each, 3600 in all): 2048 bytes of room per record, not 4096.
    EXPECT_LE(clitest::ReadFile(Path("burst.edf")).size(), 768u + 3u * (10000u + 2048u));
}

TEST_F(CaptureFiles, NothingPlayedIsAnErrorAndLeavesNoFile) {
    const Capture empty;
    for (const char* name : {"e.edf", "e.csv", "e.svg"}) {
        std::string error;
        EXPECT_FALSE(qoltsim::WriteCaptureFile(Path(name), empty, {}, error)) << name;
        EXPECT_EQ(error, "nothing was played");
        EXPECT_NE(access(Path(name).c_str(), F_OK), 0);
    }
}

TEST_F(CaptureFiles, UnwritablePlacesAndUnknownTypesAreReported) {
    RecordingBuilder b;
    b.Packet(Sine(30, 100, 10));
    const Capture c = qoltsim::BuildCapture(b.Get());
    for (const char* name : {"/no/such/dir/x.edf", "/no/such/dir/x.csv", "/no/such/dir/x.svg"}) {
        std::string error;
        EXPECT_FALSE(qoltsim::WriteCaptureFile(name, c, {}, error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(qoltsim::WriteCaptureFile(Path("x.txt"), c, {}, error));
    EXPECT_NE(error.find("unknown file type"), std::string::npos) << error;
}

TEST_F(CaptureFiles, CsvHasOneRowPerSampleAndPerAnnotationInTimeOrder) {
    RecordingBuilder b;
    b.Command(MessageKind::Range, {0x00, 5});
    b.Packet({{2048}, {2448, qoltsim::kFlagHighRange}, {1648, qoltsim::kFlagShortSample}, {2049}});
    b.Command(MessageKind::StopStream, {'S'});
    Capture c = qoltsim::BuildCapture(b.Get(), {0.0002});
    c.annotations.push_back({c.endTick, AnnotationKind::Note, "a \"quoted\", text"});
    std::string error;
    ASSERT_TRUE(qoltsim::WriteCsvCapture(Path("c.csv"), c, error)) << error;

    std::string header;
    const std::vector<clitest::CsvRow> rows = clitest::ReadCsv(Path("c.csv"), &header);
    EXPECT_EQ(header, "time_s,value,code,high_range,short_sample,event");
    ASSERT_EQ(rows.size(), 4u + 4u);
    double last = 0.0;
    size_t samples = 0;
    for (const auto& r : rows) {
        EXPECT_GE(r.time, last);
        last = r.time;
        samples += r.isSample ? 1 : 0;
    }
    EXPECT_EQ(samples, 4u);
    EXPECT_EQ(rows[0].event, "range 5");
    EXPECT_TRUE(rows[1].isSample);
    EXPECT_EQ(rows[2].event, "pacing pulse"); // at 0.0002 s, before the sample that starts there
    EXPECT_DOUBLE_EQ(rows[3].value, 200.0);   // high range: (2448 - 2048) / 2
    EXPECT_EQ(rows[3].highRange, 1);
    EXPECT_EQ(rows[4].shortSample, 1);
    EXPECT_DOUBLE_EQ(rows[4].value, -1.0);
    EXPECT_EQ(rows.back().event, "a \"quoted\", text");
}

// The numbers of the trace's path.
std::vector<std::pair<double, double>> TracePoints(const std::string& svg) {
    std::vector<std::pair<double, double>> points;
    const std::string head = "<path id=\"trace\" d=\"M";
    const size_t from = svg.find(head);
    if (from == std::string::npos) {
        return points;
    }
    const size_t start = from + head.size();
    std::istringstream in(svg.substr(start, svg.find('"', start) - start));
    std::string pair;
    while (in >> pair) {
        const size_t comma = pair.find(',');
        points.emplace_back(std::atof(pair.substr(0, comma).c_str()),
                            std::atof(pair.substr(comma + 1).c_str()));
    }
    return points;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST_F(CaptureFiles, SvgIsWellFormedSmallAndKeepsSpikes) {
    // 60 s of a flat line with one 0.2 ms spike: the envelope must still reach it.
    RecordingBuilder b;
    for (int p = 0; p < 200; ++p) {
        std::vector<Sample> s(1500, Sample{2048});
        if (p == 123) {
            s[777].code = 2048 + 800;
        }
        b.Packet(s);
    }
    const std::vector<double> markers = {1.0, 2.0, 2.00001, 59.0};
    const Capture c = qoltsim::BuildCapture(b.Get(), markers);
    qoltsim::PlotOptions options;
    options.title = "sine & <friends>";
    std::string error;
    ASSERT_TRUE(qoltsim::WriteSvgPlot(Path("p.svg"), c, options, error)) << error;
    const std::string svg = clitest::ReadFile(Path("p.svg"));
    EXPECT_LT(svg.size(), 64u * 1024u);

    const clitest::RunResult check =
        clitest::Python("import sys, xml.etree.ElementTree as ET\n"
                        "root = ET.parse(sys.argv[1]).getroot()\n"
                        "ns = '{http://www.w3.org/2000/svg}'\n"
                        "paths = [p for p in root.iter(ns + 'path') if p.get('id') == 'trace']\n"
                        "texts = [t.text for t in root.iter(ns + 'text')]\n"
                        "print(len(paths), 'time (s)' in texts, 'value (sample scale)' in texts, 'sine & "
                        "<friends>' in texts)\n",
                        Path("p.svg"));
    EXPECT_EQ(check.out, "1 True True True\n") << check.err;

    const auto points = TracePoints(svg);
    ASSERT_GT(points.size(), 800u);
    EXPECT_LE(points.size(), 2u * 960u);
    double top = 1e9;
    for (const auto& p : points) {
        top = std::min(top, p.second);
    }
    const double flat = points.front().second;
    EXPECT_LT(top, flat - 100.0) << "the spike is drawn";
    // Markers closer than a pixel column are drawn once.
    EXPECT_EQ(Occurrences(svg, "<g id=\"pacing\""), 1u);
    const size_t lines = Occurrences(svg, "stroke=\"none\" d=\"M");
    EXPECT_EQ(lines, 3u);
}

TEST_F(CaptureFiles, SvgOfAShortCaptureDrawsEverySample) {
    RecordingBuilder b;
    b.Packet(Sine(90, 400, 30));
    const Capture c = qoltsim::BuildCapture(b.Get());
    const std::string svg = qoltsim::RenderSvgPlot(c, {});
    EXPECT_EQ(TracePoints(svg).size(), 90u);
    EXPECT_EQ(svg.find("id=\"pacing\""), std::string::npos);
}

} // namespace
