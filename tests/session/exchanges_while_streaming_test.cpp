// Exchanges with the instrument (GetAD, WriteMfgInfo, SetDeviceInformation) while a stream runs: the data
// requests that come during one are answered by the poll thread, never by the caller, so that no packet is
// built on an application thread nor inside another packet; and no byte of the reply is taken for a request.
#include "stream/StreamTestSupport.h"

#include "api/PollLoop.h"
#include "stream/DataRequests.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

constexpr int kConverterValue = 0x0800;
constexpr int kErrorCode = static_cast<int>(0x80000001u);

// One exchange and whether it did what it was asked.
struct Exchange {
    const char* name;
    bool (*run)();
};

bool RunGetAD() {
    return GetAD() == kConverterValue;
}
bool RunWriteMfgInfo() {
    const unsigned char record[4] = {0x11, 0x22, 0x33, 0x44};
    return WriteMfgInfo(record, sizeof record) == 1;
}
bool RunSetDeviceInformation() {
    // The identity the instrument has already: only the exchange matters here.
    return SetDeviceInformation(17, 1, 12, 300) == 1;
}

const Exchange kGetAD{"GetAD", RunGetAD};
const Exchange kWriteMfgInfo{"WriteMfgInfo", RunWriteMfgInfo};
const Exchange kSetDeviceInformation{"SetDeviceInformation", RunSetDeviceInformation};

void PrintTo(const Exchange& e, std::ostream* os) {
    *os << e.name;
}

// ---- 1. Requests set aside during an exchange on an application thread -------------------------------

// Set on the thread that makes the exchange.
thread_local bool t_inExchange = false;
std::atomic<int> g_callbacksOffThePollThread{0};

// Counts callbacks that do not come from the poll thread; on the exchange's own thread it does what an
// application may do from any callback: Close (from the poll thread that only asks for the end).
void NoteThread() {
    if (IsPollThread())
        return;
    ++g_callbacksOffThePollThread;
    if (t_inExchange)
        Close();
}
void GraphOnAnyThread(double t, double v) {
    NoteThread();
    RecordGraph(t, v);
}
void ErrorOnAnyThread(int code) {
    NoteThread();
    RecordError(code);
}

class RequestsDuringAnExchange : public StreamFixture, public ::testing::WithParamInterface<Exchange> {};

TEST_P(RequestsDuringAnExchange, AreAnsweredByThePollThreadAndCloseFromACallbackReturns) {
    auto& vi = Linked(Pacing::Manual);
    RegisterTimeAmpCB(GraphOnAnyThread);
    RegisterErrorCallback(ErrorOnAnyThread);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));

    std::atomic<bool> done{false};
    std::atomic<bool> ok{false};
    std::thread application([&] {
        t_inExchange = true;
        {
            // Polling paused first, so that the request ("N" "X") is still waiting in the port when the
            // exchange begins, and comes ahead of its reply.
            CAutoPausePooling pause;
            ASSERT_TRUE(vi.SendDataRequest(true));
            ok = GetParam().run();
        }
        t_inExchange = false;
        done = true;
    });
    if (!Eventually([&] { return done.load(); })) {
        // The exchange's caller is stuck in Close (it waits for the connection thread, which waits for the
        // lock the caller holds): nothing can end this process normally.
        std::fprintf(stderr, "FAILED: the exchange never returned: Close from a callback on its thread "
                             "waits for the connection thread, which waits for the caller's lock\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
    application.join();

    EXPECT_TRUE(ok);
    ASSERT_TRUE(vi.WaitForPackets(2, kWait)) << Describe(vi);
    ASSERT_TRUE(Errors().WaitForCount(1));
    std::this_thread::sleep_for(200ms); // anything more would have come by now
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 2u);
    EXPECT_TRUE(r.violations.empty());
    EXPECT_EQ(Errors().Values(), std::vector<int>{kErrorCode});
    EXPECT_EQ(g_callbacksOffThePollThread.load(), 0);
    EXPECT_TRUE(IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Stream, RequestsDuringAnExchange,
                         ::testing::Values(kGetAD, kWriteMfgInfo, kSetDeviceInformation),
                         [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.name; });

// ---- 2. An exchange from a graph callback -------------------------------------------------------------

qoltsim::VirtualInstrument* g_instrument = nullptr;
const Exchange* g_exchangeFromGraph = nullptr;
std::atomic<bool> g_armed{false};
std::atomic<int> g_exchangeResult{-1};

// Once armed: a data request from the instrument, then the exchange, inside the packet being built.
void ExchangeFromGraph(double, double) {
    if (!g_armed.exchange(false))
        return;
    g_instrument->SendDataRequest(false);
    g_exchangeResult = g_exchangeFromGraph->run() ? 1 : 0;
}

class ExchangeFromAGraphCallback : public StreamFixture, public ::testing::WithParamInterface<Exchange> {};

TEST_P(ExchangeFromAGraphCallback, SendsNoPacketInsideThePacketBeingBuilt) {
    auto& vi = Linked(Pacing::Manual);
    g_instrument = &vi;
    g_exchangeFromGraph = &GetParam();
    RegisterTimeAmpCB(ExchangeFromGraph);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    g_armed = true;
    // Packet 2 holds the exchange; the request made during it gets packet 3.
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(3, kWait)) << Describe(vi);
    EXPECT_EQ(g_exchangeResult.load(), 1);
    Request(vi, 2);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(SetOutputFunc(0), 0);

    const auto r = vi.Snapshot();
    ASSERT_EQ(r.totalPackets, 5u) << Describe(vi);
    EXPECT_TRUE(r.violations.empty())
        << qoltsim::ViolationKindName(r.violations[0].kind) << " in packet " << r.violations[0].packet;
    for (size_t i = 1; i < r.packets.size(); ++i)
        EXPECT_EQ(r.packets[i].firstCounter, static_cast<uint8_t>(r.packets[i - 1].lastCounter + 1)) << i;
    // One unbroken sine: no step between two samples is larger than its steepest slope allows.
    ASSERT_EQ(r.samples.size(), 5u * 1500u);
    int peak = 0;
    for (const auto& s : r.samples)
        peak = std::max(peak, std::abs(static_cast<int>(s.code) - 2048));
    ASSERT_GE(peak, 50);
    const double steepest = 2.0 * M_PI * GetFrequency() * peak * 0.0002;
    for (size_t i = 1; i < r.samples.size(); ++i)
        ASSERT_LE(std::abs(static_cast<int>(r.samples[i].code) - static_cast<int>(r.samples[i - 1].code)),
                  steepest + 1.0)
            << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Stream, ExchangeFromAGraphCallback, ::testing::Values(kGetAD, kWriteMfgInfo),
                         [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.name; });

// ---- 3. Replies that begin with bytes that look like data requests ------------------------------------

using Block = std::array<uint8_t, qoltsim::kBlockSize>;

enum class Requests { None, Before, ErrorBefore, After, BeforeAndAfter };

struct ReplyCase {
    const char* name;
    const Exchange* exchange;
    qoltsim::MessageKind firstQuery; // the exchange's first message
    Requests requests;
};

const ReplyCase kReplyCases[] = {
    {"WriteMfgInfoAlone", &kWriteMfgInfo, qoltsim::MessageKind::StoreBlock, Requests::None},
    {"WriteMfgInfoRequestBefore", &kWriteMfgInfo, qoltsim::MessageKind::StoreBlock, Requests::Before},
    {"WriteMfgInfoErrorRequestBefore", &kWriteMfgInfo, qoltsim::MessageKind::StoreBlock,
     Requests::ErrorBefore},
    {"WriteMfgInfoRequestAfter", &kWriteMfgInfo, qoltsim::MessageKind::StoreBlock, Requests::After},
    {"WriteMfgInfoRequestsBeforeAndAfter", &kWriteMfgInfo, qoltsim::MessageKind::StoreBlock,
     Requests::BeforeAndAfter},
    {"SetDeviceInformationAlone", &kSetDeviceInformation, qoltsim::MessageKind::InfoQuery, Requests::None},
    {"SetDeviceInformationRequestBefore", &kSetDeviceInformation, qoltsim::MessageKind::InfoQuery,
     Requests::Before},
    {"SetDeviceInformationRequestAfter", &kSetDeviceInformation, qoltsim::MessageKind::InfoQuery,
     Requests::After},
    {"GetADAlone", &kGetAD, qoltsim::MessageKind::ConverterQuery, Requests::None},
    {"GetADRequestBefore", &kGetAD, qoltsim::MessageKind::ConverterQuery, Requests::Before},
    {"GetADRequestAfter", &kGetAD, qoltsim::MessageKind::ConverterQuery, Requests::After},
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class RepliesThatLookLikeRequests : public StreamFixture, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(RepliesThatLookLikeRequests, AreReadWholeAndOnlyTheRealRequestsGetPackets) {
    const ReplyCase& c = GetParam();
    qoltsim::Config config;
    // A block whose first bytes, and a converter reading whose value, are "N" (0x4E).
    Block block = qoltsim::BuildInformationBlock(config);
    block[0] = 'N';
    block[1] = 'N';
    config.block = block;
    config.converterValue = 0x4E4E;
    auto& vi = Linked(Pacing::Manual, config);
    RegisterErrorCallback(RecordError);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));

    const bool before = c.requests == Requests::Before || c.requests == Requests::ErrorBefore ||
                        c.requests == Requests::BeforeAndAfter;
    const bool after = c.requests == Requests::After || c.requests == Requests::BeforeAndAfter;
    const size_t queriesBefore = vi.Snapshot().CountCommands(c.firstQuery);
    if (after) // held back, so that a request sent once the query is in comes behind the reply
        vi.SetFault(c.firstQuery, qoltsim::Fault(qoltsim::FaultKind::Late, 5ms, 1));

    int value = -1;
    bool ok = false;
    std::thread application([&] {
        CAutoPausePooling pause; // the request sent before is still in the port when the exchange begins
        if (before)
            vi.SendDataRequest(c.requests == Requests::ErrorBefore);
        if (c.exchange == &kGetAD) {
            value = GetAD();
            ok = value == 0x4E4E;
        } else {
            ok = c.exchange->run();
        }
    });
    if (after) {
        EXPECT_TRUE(vi.WaitForCommand(c.firstQuery, queriesBefore + 1, kWait));
        vi.SendDataRequest(false);
    }
    application.join();

    EXPECT_TRUE(ok) << "GetAD: " << value;
    const uint64_t requests = (before ? 1u : 0u) + (after ? 1u : 0u);
    ASSERT_TRUE(vi.WaitForPackets(1 + requests, kWait)) << Describe(vi);
    std::this_thread::sleep_for(300ms);
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 1 + requests) << Describe(vi);
    EXPECT_EQ(r.CountViolations(qoltsim::ViolationKind::Unrequested), 0u);
    EXPECT_EQ(Errors().Count(), c.requests == Requests::ErrorBefore ? 1u : 0u);
    if (c.exchange == &kWriteMfgInfo) {
        std::array<unsigned char, 16> record{};
        ReadMfgInfo(record.data(), record.size());
        EXPECT_EQ(record[0], 0x11);
        EXPECT_EQ(record[3], 0x44);
        EXPECT_EQ(vi.InformationBlock()[48], 0x11);
    }
    // The block as received, "N" "N" included, is what the library holds and writes back.
    EXPECT_STREQ(GetSerialNumber(), "KEE2301-170300");
    if (c.exchange != &kGetAD) {
        const auto stores = CommandsOf(vi, qoltsim::MessageKind::StoreBlock);
        ASSERT_EQ(stores.size(), 1u);
        EXPECT_EQ(stores[0][0], 'N');
        EXPECT_EQ(stores[0][1], 'N');
        EXPECT_EQ(stores[0][3], 0xFF);
    }
}

INSTANTIATE_TEST_SUITE_P(Stream, RepliesThatLookLikeRequests, ::testing::ValuesIn(kReplyCases),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

} // namespace
