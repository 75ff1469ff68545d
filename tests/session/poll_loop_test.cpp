// The poll thread against the virtual instrument: data requests, error and version reports, pausing.
#include "session/SessionTestSupport.h"

#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "core/SessionSync.h"
#include "sync/CriticalSection.h"
#include "stream/OutputStage.h"
#include "synth/SynthesisState.h"

#include <atomic>
#include <thread>

using namespace sessiontest;
using qoltsim::MessageKind;
using qoltsim::Report;

namespace {

template <class T> T Locked(const T& value) {
    CAutoCriticalSection lock(g_APICriticalSection);
    return value;
}

template <class T> T Locked(const std::atomic<T>& value) {
    CAutoCriticalSection lock(g_APICriticalSection);
    return value;
}

void SetStreaming(bool on) {
    CAutoCriticalSection lock(g_APICriticalSection);
    s_ECGGoing = on;
}

class PollLoop : public SessionFixture {
protected:
    // A linked instrument that sends data requests only when the test asks.
    qoltsim::VirtualInstrument& Linked(qoltsim::Config config = qoltsim::Config()) {
        config.pacing = qoltsim::Pacing::Manual;
        auto& vi = AddInstrument(config);
        InitAndWaitForLink();
        RegisterErrorCallback(RecordError);
        return vi;
    }
};

TEST_F(PollLoop, ErrorRequestWithStreamingOffCallsTheErrorListenerAndSendsNoPacket) {
    auto& vi = Linked();
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(1));
    EXPECT_EQ(Errors().Values()[0], static_cast<int>(0x80000001u));
    // A request that follows is read only after the first: no packet came for either.
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(2));
    // One request with streaming on: the instrument takes packets in order, so the first it sees is
    // this one's.
    SetStreaming(true);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    SetStreaming(false);
    EXPECT_EQ(vi.Snapshot().totalPackets, 1u);
}

TEST_F(PollLoop, DataRequestWithStreamingOffSendsNothing) {
    auto& vi = Linked();
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(1));
    SetStreaming(true);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    SetStreaming(false);
    EXPECT_EQ(vi.Snapshot().totalPackets, 1u);
}

TEST_F(PollLoop, EachDataRequestWhileStreamingGetsExactlyOnePacket) {
    auto& vi = Linked();
    SetStreaming(true);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(1));
    ASSERT_TRUE(vi.WaitForPackets(2, kWait));
    // Two requests found in one read (a host that fell behind) get two packets.
    ASSERT_TRUE(vi.SendRaw({'N', 'N'}));
    ASSERT_TRUE(vi.WaitForPackets(4, kWait));
    // A marker that is no request gets nothing: one more request settles the count.
    ASSERT_TRUE(vi.SendReport(Report::Report2));
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(5, kWait));
    SetStreaming(false);
    const auto recording = vi.Snapshot();
    EXPECT_EQ(recording.totalPackets, 5u);
    for (const auto& p : recording.packets) {
        EXPECT_TRUE(p.complete);
        EXPECT_EQ(p.size, qoltsim::kPacketSize);
    }
}

struct VersionCase {
    const char* name;
    const char* report;
    qoltsim::SerialForm form;
    bool shortBlock; // no serial number from the block
    int number;
    double rangeOff, rangeOn;
};

const VersionCase kVersionCases[] = {
    {"BelowNewerForm", "4000001", qoltsim::SerialForm::Newer, false, 4000001, 5.0, 4.0},
    {"BelowOlderForm", "4000000", qoltsim::SerialForm::Older, false, 4000000, 5.0, 4.0},
    {"AtNewerForm", "4000002", qoltsim::SerialForm::Newer, false, 4000002, 5.0, 5.0},
    {"AboveNewerForm", "4100000", qoltsim::SerialForm::Newer, false, 4100000, 5.0, 5.0},
    {"AtOlderForm", "4000002", qoltsim::SerialForm::Older, false, 4000002, 5.0, 4.0},
    {"AtWithoutSerialFromTheBlock", "4000002", qoltsim::SerialForm::Older, true, 4000002, 5.0, 5.0},
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.name;
}

class VersionReport : public PollLoop, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionReport, SetsTheFlagTheNumberAndTheRanges) {
    const VersionCase& c = GetParam();
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Manual;
    config.serialForm = c.form;
    auto& vi = AddInstrument(config);
    if (c.shortBlock)
        vi.SetFault(MessageKind::InfoQuery, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, -1, 8));
    InitAndWaitForLink();
    EXPECT_FALSE(IsVersion4());

    ASSERT_TRUE(vi.SendReport(Report::Version, c.report));
    ASSERT_TRUE(Eventually([] { return IsVersion4(); }));
    // The poll thread has handled the report when the number is in.
    ASSERT_TRUE(Eventually([&] { return Locked(g_nVersionNumber) == c.number; }));
    EXPECT_EQ(Locked(g_RangeV4Ch2Off), c.rangeOff);
    EXPECT_EQ(Locked(g_RangeV4Ch2On), c.rangeOn);
}

INSTANTIATE_TEST_SUITE_P(Session, VersionReport, ::testing::ValuesIn(kVersionCases),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST_F(PollLoop, VersionReportAndItsFlagSurviveTheLink) {
    qoltsim::Config config;
    config.versionReportAfterIdentification = "4000005";
    auto& vi = Linked(config);
    ASSERT_TRUE(Eventually([] { return Locked(g_nVersionNumber) == 4000005; }));
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_TRUE(IsVersion4());
    EXPECT_EQ(Locked(g_nVersionNumber), 4000005);
    EXPECT_EQ(Locked(g_RangeV4Ch2On), 5.0);
}

// Each message is followed by an error request, and the next one is sent once that is handled, so that
// every message reaches the host in a read of its own.
class PollLoopMessages : public PollLoop {
protected:
    void Deliver(qoltsim::VirtualInstrument& vi, const std::vector<uint8_t>& message) {
        ASSERT_TRUE(vi.SendRaw(message));
        ASSERT_TRUE(vi.SendDataRequest(true));
        ASSERT_TRUE(Errors().WaitForCount(++delivered_));
    }
    // For messages that the host ignores as a whole: nothing tells when they were read, so the next one
    // waits long enough not to share their read.
    void DeliverIgnored(qoltsim::VirtualInstrument& vi, const std::vector<uint8_t>& message) {
        ASSERT_TRUE(vi.SendRaw(message));
        std::this_thread::sleep_for(300ms);
    }
    size_t delivered_ = 0;
};

std::vector<uint8_t> Text(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST_F(PollLoopMessages, SequenceReportsAreCountedAndShortReportsIgnored) {
    auto& vi = Linked();
    Deliver(vi, Text("S00000000000000"));
    Deliver(vi, Text("2000000"));
    DeliverIgnored(vi, Text("S12")); // too short to be a sequence report
    EXPECT_EQ(Locked(g_nSequenceReports), 1);
    ASSERT_TRUE(vi.SendRaw(Text("S0000000000000"))); // a read of 14 bytes is enough
    EXPECT_TRUE(Eventually([] { return Locked(g_nSequenceReports) == 2; }));
    EXPECT_FALSE(IsVersion4());
    EXPECT_EQ(Errors().Count(), 2u);
}

TEST_F(PollLoopMessages, ReadsThatStartNoMessageAreIgnoredUpToADataRequest) {
    auto& vi = Linked();
    // A late reply (here a port tag's) read together with a data request: the request is still answered,
    // nothing else behind the reply is looked at.
    ASSERT_TRUE(vi.SendRaw({0x00, 0xFF, 'D', 0x01, '0', '4', '0', '0', '0', '0', '0', '2', 'N', 'X'}));
    ASSERT_TRUE(Errors().WaitForCount(++delivered_));
    DeliverIgnored(vi, Text("400000")); // a version report needs seven digits
    Deliver(vi, Text("N"));
    EXPECT_EQ(Errors().Count(), 2u);
    EXPECT_FALSE(IsVersion4());
}

TEST_F(PollLoop, APausedPollThreadReadsNothing) {
    auto& vi = Linked();
    SetStreaming(true);
    {
        CAutoPausePooling outer;
        {
            CAutoPausePooling inner;
            ASSERT_TRUE(vi.SendDataRequest(true));
            std::this_thread::sleep_for(300ms);
        }
        // The inner guard's end does not resume polling while the outer one lives.
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(Errors().Count(), 0u);
        EXPECT_EQ(vi.Snapshot().totalPackets, 0u);
    }
    // The request waited in the port and is answered once polling resumes.
    ASSERT_TRUE(Errors().WaitForCount(1));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    SetStreaming(false);
}

TEST_F(PollLoop, ErrorListenerCanBeReplacedAndRemoved) {
    auto& vi = Linked();
    RegisterErrorCallback(nullptr);
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(vi.SendReport(Report::Version, "4000001"));
    ASSERT_TRUE(Eventually([] { return IsVersion4(); }));
    EXPECT_EQ(Errors().Count(), 0u);
    RegisterErrorCallback(RecordError);
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(1));
}

} // namespace
