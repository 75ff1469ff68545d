// A hostile instrument: the input decides every byte the instrument sends (replies to the identification,
// the converter reading and the stored block, and unsolicited bytes to the poll step while streaming).
//
// The port is one end of a socket pair put in place of an opened node, so every byte goes through the
// library's own reads and writes; this harness holds the other end and plays the instrument. Time is
// virtual: the link options in CMakeLists.txt route the library's sleeps, clock reads and polls here, so a
// reply "after 300 ms" costs nothing and the run is deterministic. This thread is the poll thread.
//
// Checked for every input: every message the host sends parses, every packet is well formed with its
// counters running on, no packet comes while no stream runs or beyond the data requests offered (plus one
// per stream start), error reports reach the listener no more often than "X" bytes were offered, and every
// call returns within a bound of virtual time.
#include "api/DeviceInformation.h"
#include "api/PollLoop.h"
#include "api/Session.h"
#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "device/Platform.h"
#include "fuzz/FuzzFiles.h"
#include "qolt_api.h"
#include "stream/DataRequests.h"
#include "sim/HostStreamParser.h"
#include "sim/PacketDecoder.h"
#include "sim/VirtualInstrument.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <ratio>
#include <type_traits>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- Virtual time -------------------------------------------------------------------------------------

long long g_nowUs = 0;
bool g_virtual = false;

void Pump();

void Advance(long long us) {
    g_nowUs += us;
    Pump();
}

// ---- The input ----------------------------------------------------------------------------------------

class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Empty() const { return p_ == end_; }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
    Bytes Take(size_t n) {
        n = std::min<size_t>(n, static_cast<size_t>(end_ - p_));
        Bytes b(p_, p_ + n);
        p_ += n;
        return b;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// ---- The instrument -----------------------------------------------------------------------------------

struct Pending {
    long long atUs;
    Bytes bytes;
};

struct Instrument {
    int fd = -1;
    Input* input = nullptr;
    qoltsim::HostStreamParser parser{std::chrono::milliseconds(1000)};
    std::array<uint8_t, qoltsim::kBlockSize> block{};
    std::deque<Pending> pending;
    bool streaming = false; // a stream runs as the host's messages tell
    std::optional<uint8_t> nextCounter;
    unsigned long long packets = 0;
    unsigned long long allowance = 0; // packets the host may still send: "N" bytes offered and starts
    unsigned long long errorsOffered = 0;
    bool hostMayStart = false; // the harness is inside a call that may start a stream
};

Instrument g_vi;
unsigned long long g_errorsHeard = 0;

void OnError(int code) {
    FUZZ_CHECK(code == static_cast<int>(0x80000001u));
    ++g_errorsHeard;
}

void Offer(const Bytes& bytes, long long delayUs) {
    for (uint8_t b : bytes) {
        g_vi.allowance += b == 'N' ? 1 : 0;
        g_vi.errorsOffered += b == 'X' ? 1 : 0;
    }
    g_vi.pending.push_back({g_nowUs + delayUs, bytes});
}

// The reply to one host query, as the input shapes it: the true reply, the true reply with bytes changed,
// bytes of the input instead, or nothing; after a delay of 0..315 ms, maybe in two parts.
void Answer(const Bytes& truth) {
    Input& in = *g_vi.input;
    const uint8_t mode = in.Byte();
    const long long delayUs = static_cast<long long>((mode >> 3) & 0x3F) * 5000;
    Bytes reply;
    switch (mode & 0x3) {
    case 0:
        reply = truth;
        break;
    case 1: {
        reply = truth;
        const uint8_t edits = in.Byte() & 0x7;
        for (uint8_t i = 0; i < edits && !reply.empty(); ++i) {
            const uint8_t at = in.Byte();
            reply[at % reply.size()] ^= in.Byte();
        }
        const uint8_t cut = in.Byte();
        if (cut & 0x80)
            reply.resize(reply.size() * (cut & 0x7F) / 128);
        break;
    }
    case 2:
        reply = in.Take(in.Byte() & 0x7F);
        break;
    default:
        return;
    }
    if ((mode & 0x4) && reply.size() > 1) {
        const size_t half = reply.size() / 2;
        Offer(Bytes(reply.begin(), reply.begin() + half), delayUs);
        Offer(Bytes(reply.begin() + half, reply.end()), delayUs + 3000);
    } else if (!reply.empty()) {
        Offer(reply, delayUs);
    }
}

void OnHostMessage(const qoltsim::ParsedMessage& m) {
    using qoltsim::MessageKind;
    if (m.kind == MessageKind::Packet) {
        FUZZ_CHECK(m.status == qoltsim::MessageStatus::Ok);
        FUZZ_CHECK(g_vi.streaming || g_vi.hostMayStart);
        if (!g_vi.streaming) {
            g_vi.nextCounter.reset();
            g_vi.streaming = true;
            ++g_vi.allowance; // the first packet of a stream comes unasked
        }
        FUZZ_CHECK(g_vi.allowance > 0);
        --g_vi.allowance;
        const qoltsim::PacketCheck check =
            qoltsim::CheckPacket(m.bytes, m.trustedSubPackets, g_vi.nextCounter);
        FUZZ_CHECK(check.violations.empty());
        g_vi.nextCounter = static_cast<uint8_t>(check.lastCounter + 1);
        ++g_vi.packets;
        return;
    }
    // Every message the host writes is one of the protocol's, whole.
    FUZZ_CHECK(m.kind != MessageKind::Unknown);
    FUZZ_CHECK(m.status == qoltsim::MessageStatus::Ok);
    const Bytes& b = m.bytes;
    switch (m.kind) {
    case MessageKind::Identify:
        Answer(Bytes{'K', 'T', 'R', 'X', '-', 'V', 'I', '1'});
        break;
    case MessageKind::SerialQuery: {
        const std::string serial = qoltsim::FormatSerialNumber(g_vi.block);
        Answer(Bytes(serial.begin(), serial.end()));
        break;
    }
    case MessageKind::InfoQuery:
        Answer(Bytes(g_vi.block.begin(), g_vi.block.end()));
        break;
    case MessageKind::PortTag:
        Answer(b);
        break;
    case MessageKind::ConverterQuery:
        Answer(Bytes{0xAD, 0x08, 0x00});
        break;
    case MessageKind::StoreBlock:
        std::copy(b.begin(), b.end(), g_vi.block.begin());
        g_vi.parser.SetBlockSignature({g_vi.block[0], g_vi.block[1], g_vi.block[2]});
        Answer(Bytes(g_vi.block.begin(), g_vi.block.end()));
        break;
    case MessageKind::StopStream:
    case MessageKind::Close:
        g_vi.streaming = false;
        break;
    default:
        break;
    }
}

bool g_pumping = false;

// Takes in what the host wrote and sends what is due.
void Pump() {
    if (g_vi.fd < 0 || g_pumping)
        return;
    g_pumping = true;
    const auto now = qoltsim::Clock::time_point(std::chrono::microseconds(g_nowUs));
    std::vector<qoltsim::ParsedMessage> messages;
    uint8_t chunk[8192];
    ssize_t n;
    while ((n = read(g_vi.fd, chunk, sizeof chunk)) > 0)
        g_vi.parser.Feed(chunk, static_cast<size_t>(n), now, messages);
    g_vi.parser.Expire(now, messages);
    for (const auto& m : messages)
        OnHostMessage(m);
    while (!g_vi.pending.empty() && g_vi.pending.front().atUs <= g_nowUs) {
        const Bytes& out = g_vi.pending.front().bytes;
        FUZZ_CHECK(write(g_vi.fd, out.data(), out.size()) == static_cast<ssize_t>(out.size()));
        g_vi.pending.pop_front();
    }
    g_pumping = false;
}

// One poll step as the poll thread makes it.
bool PollStep() {
    CAutoCriticalSection lock(g_APICriticalSection);
    return DoDataPoll(nullptr, 0);
}

// Runs a call and checks that it returned within `boundMs` of virtual time.
template <class Call> void Bounded(long long boundMs, Call call) {
    const long long start = g_nowUs;
    call();
    Pump();
    FUZZ_CHECK(g_nowUs - start <= boundMs * 1000);
}

void Settle() {
    for (int i = 0; i < 64; ++i) {
        Advance(1000);
        if (!PollStep() && g_vi.pending.empty())
            break;
    }
    Pump();
}

void Setup() {
    static bool done = false;
    if (done)
        return;
    done = true;
    g_virtual = true;
    ActAsPollThread(true);
    RegisterErrorCallback(OnError);
    SetLockDirectory("/tmp");
}

} // namespace

// ---- Link seams (see CMakeLists.txt) ------------------------------------------------------------------

extern "C" {
void __real__Z7SleepExj(unsigned milliseconds);
void __wrap__Z7SleepExj(unsigned milliseconds) {
    if (!g_virtual) {
        __real__Z7SleepExj(milliseconds);
        return;
    }
    Advance(static_cast<long long>(milliseconds) * 1000);
}

int __real_poll(pollfd* fds, nfds_t n, int timeout);
int __wrap_poll(pollfd* fds, nfds_t n, int timeout) {
    if (!g_virtual)
        return __real_poll(fds, n, timeout);
    Pump();
    const int ready = __real_poll(fds, n, 0);
    if (ready == 0 && timeout > 0)
        Advance(static_cast<long long>(timeout) * 1000);
    return ready;
}
}

// steady_clock::now() returns its nanosecond count in a register, as a long long would be.
static_assert(std::is_same_v<std::chrono::steady_clock::rep, long>, "steady_clock counts in a long");
static_assert(std::ratio_equal_v<std::chrono::steady_clock::period, std::nano>, "steady_clock counts ns");
extern "C" long __real__ZNSt6chrono3_V212steady_clock3nowEv();
extern "C" long __wrap__ZNSt6chrono3_V212steady_clock3nowEv() {
    if (!g_virtual)
        return __real__ZNSt6chrono3_V212steady_clock3nowEv();
    // Every look at the clock costs a little time, so no loop that waits on it alone can spin for ever.
    g_nowUs += 1;
    return g_nowUs * 1000;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    Input in(data, size);
    g_vi = Instrument();
    g_vi.input = &in;
    g_errorsHeard = 0;

    qoltsim::Config config;
    const uint8_t shape = in.Byte();
    config.serialForm = (shape & 1) ? qoltsim::SerialForm::Older : qoltsim::SerialForm::Newer;
    config.model = (shape & 2) ? qoltsim::Model::Enhanced : qoltsim::Model::Standard;
    config.firmwareMajor = static_cast<uint8_t>(3 + ((shape >> 2) & 3));
    config.firmwareMinor = static_cast<uint8_t>((shape >> 4) & 7);
    g_vi.block = qoltsim::BuildInformationBlock(config);

    int ends[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    const int big = 4 << 20;
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big);
    setsockopt(ends[1], SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
    FUZZ_CHECK(fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0 && fcntl(ends[1], F_SETFL, O_NONBLOCK) == 0);
    g_vi.fd = ends[1];
    g_hDevice = ends[0];

    char name[] = "/dev/ttyACM0";
    bool linked = false;
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        // Identification: four exchanges, each with its wait and its grace, and the drains.
        Bounded(2000, [&] { linked = _COMStringFound(name); });
    }
    if (linked) {
        for (int op = 0; op < 48 && !in.Empty(); ++op) {
            const uint8_t o = in.Byte();
            // A stream may start only while an output is selected (a cycle-end change restarts it).
            g_vi.hostMayStart = o % 8 == 0 || GetOutputFunc() != 0;
            switch (o % 8) {
            case 0:
                // Stopping a running stream settles 300 ms; the discard of stale requests is bounded.
                Bounded(1500, [&] { SetOutputFunc(1 + (o >> 3) % 5); });
                Settle();
                break;
            case 1:
                Bounded(1500, [] { SetOutputFunc(0); });
                break;
            case 2:
                Bounded(1000, [] { GetAD(); });
                break;
            case 3: {
                const Bytes record = in.Take(16);
                // The block written back is the one the library took in, which the input may have shaped.
                g_vi.parser.SetBlockSignature({g_DeviceHWInfo[0], g_DeviceHWInfo[1], g_DeviceHWInfo[2]});
                Bounded(2000, [&] { WriteMfgInfo(record.data(), record.size()); });
                break;
            }
            case 4:
                Bounded(1000, [] { SetAmplitude(500.0); });
                break;
            case 5:
                Offer(Bytes{'N'}, 0);
                Settle();
                break;
            case 6:
                Offer(Bytes{'N', 'X'}, 0);
                Settle();
                break;
            default:
                Offer(in.Take(in.Byte() & 0x1F), static_cast<long long>(o >> 3) * 1000);
                Settle();
                break;
            }
        }
        // A running stream may need a queued packet answered before the stop.
        Settle();
        Bounded(1500, [] { ResetQOLT(); });
        g_vi.hostMayStart = false;
        Settle();
        FUZZ_CHECK(!s_ECGGoing);
    }
    FUZZ_CHECK(g_errorsHeard <= g_vi.errorsOffered);
    if (std::getenv("QOLT_FUZZ_TRACE") != nullptr)
        std::fprintf(stderr, "linked %d, packets %llu, errors heard %llu, virtual time %lld ms\n", linked,
                     g_vi.packets, g_errorsHeard, g_nowUs / 1000);
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        ClearDeviceIdentity();
        DeviceClose(); // closes ends[0]
    }
    FUZZ_CHECK(g_hDevice == -1);
    close(ends[1]);
    g_vi.fd = -1;
    g_vi.input = nullptr;
    return 0;
}
