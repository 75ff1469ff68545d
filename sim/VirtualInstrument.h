// The virtual instrument: plays the instrument's side of the serial protocol on a pseudo-terminal, so that
// everything that talks to the instrument goes through the kernel's tty layer as with a CDC-ACM node.
//
// Usage from a test:
//
//   qoltsim::TempDir dir;                               // fresh directory, removed at scope end
//   qoltsim::Config config;
//   config.directory = dir.Path();
//   config.node = 3;                                    // linked as <dir>/ttyACM3
//   qoltsim::VirtualInstrument vi(config);
//   ASSERT_TRUE(vi.Start()) << vi.LastError();
//   SetDeviceNodeFormat((dir.Path() + "/ttyACM%d").c_str());
//   ... drive the library ...
//   ASSERT_TRUE(vi.WaitForCommand(qoltsim::MessageKind::EndOfIdentification, 1, std::chrono::seconds(3)));
//   ASSERT_TRUE(vi.WaitFor([](const qoltsim::Recording& r) { return r.totalPackets >= 10; }, 5s));
//   auto samples = vi.Samples();                        // decoded values, durations and flags
//   vi.Unplug(); ... vi.Replug();                       // link disappears / a new pty pair appears
//   vi.SetFault(qoltsim::MessageKind::Identify, {qoltsim::FaultKind::Short});   // answers "KTR"
//
// Every public call is thread-safe. The instrument's own thread is started by Start and joined by Stop
// (or the destructor); it owns the pseudo-terminal and never blocks the caller. WaitFor's predicate runs
// under the recording lock: keep it short and do not call the instrument from it.
#pragma once

#include "sim/Protocol.h"
#include "sim/Records.h"
#include "sim/TempDir.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qoltsim {

enum class SerialForm : uint8_t { Newer, Older };
enum class Model : uint8_t { Standard, Enhanced };

enum class Pacing : uint8_t {
    Manual,   // no data requests of its own: the test sends them (SendDataRequest)
    Fast,     // one data request right after each whole packet
    RealTime, // two packet buffers played at 5000 samples/s (short samples 0.1 ms); a request per free buffer
};

struct Config {
    std::string directory; // where ttyACM<node> is linked; must exist
    int node = 0;

    // Information block fields (ignored when `block` is given).
    SerialForm serialForm = SerialForm::Newer;
    Model model = Model::Standard;                 // byte 9: 2 for the enhanced model, 1 otherwise
    uint8_t serialYear = 23;                       // byte 8
    int formGroup = -1;                            // byte 10; -1: 17 for the newer form, 15 for the older
    uint16_t unitNumber = 300;                     // bytes 11-12
    uint8_t hardwareVersion = 12;                  // byte 13, version times ten
    uint8_t firmwareMajor = 5;                     // byte 14
    uint8_t firmwareMinor = 6;                     // byte 15
    std::array<uint8_t, 16> manufacturingRecord{}; // bytes 48-63
    std::optional<std::array<uint8_t, kBlockSize>> block; // the whole block verbatim

    std::string serialText; // reply to "U"; empty: the serial number formatted from the block
    std::string identifyReply = "KTRX-VI1";
    uint16_t converterValue = 0x0800; // reply AD hh ll to the converter query
    Pacing pacing = Pacing::Fast;
    std::string versionReportAfterIdentification; // e.g. "4000002": sent after 08 when not empty
    uint8_t initialRange = 5;                     // range byte in force before any range command
    uint8_t dcChannelFullScale = 4; // full scale while the variable DC offset (second DAC channel) is on
    std::chrono::milliseconds messageTimeout{1000}; // a message left unfinished this long is recorded cut

    // Bounds of the recording (the totals keep counting past them).
    size_t maxCommands = 200000;
    size_t maxPackets = 100000;
    size_t maxSamples = 3000000;
    size_t maxPacketsWithBytes = 1024;
    size_t maxSent = 200000;
    size_t maxPendingOutput = 1 << 20; // bytes the host has not read yet
};

// Faults of one reply. `delay` applies to any kind (FaultKind::Late only delays).
enum class FaultKind : uint8_t {
    None,
    Silent,     // no reply
    Short,      // only the first `length` bytes of the reply (default 3: "KTR")
    Late,       // the reply after `delay`
    Garbage,    // `bytes` (default 16 bytes of 0xFF 0xFE ...) instead of the reply
    WrongToken, // the first four bytes replaced by `bytes` (default "KTRY")
    Long,       // the reply followed by `length` extra bytes (default 40) of `bytes` (default 'Z')
};
struct Fault {
    Fault() = default;
    Fault(FaultKind k, std::chrono::milliseconds d = std::chrono::milliseconds(0), int n = -1, size_t len = 0,
          std::vector<uint8_t> b = {})
        : kind(k), delay(d), count(n), length(len), bytes(std::move(b)) {}

    FaultKind kind = FaultKind::None;
    std::chrono::milliseconds delay{0};
    int count = -1;    // replies it applies to; -1 = until cleared
    size_t length = 0; // see FaultKind; 0 = the default
    std::vector<uint8_t> bytes;
};
// The reply after the fault (without the delay); exposed for tests of the instrument itself.
std::vector<uint8_t> FaultReply(const Fault& fault, const std::vector<uint8_t>& reply);

enum class Report : uint8_t {
    DataRequest,  // "N"
    ErrorRequest, // "N" "X"
    Version,      // "4" and six digits; payload: the seven digits (default "4000002")
    Sequence,     // "S" and 14 bytes; payload: the 14 bytes (default fourteen "0")
    Report2,      // "2" and 6 bytes; payload: the 6 bytes (default six "0")
};

// The 64-byte information block built from a configuration, and the serial number it prints as.
std::array<uint8_t, kBlockSize> BuildInformationBlock(const Config& config);
std::string FormatSerialNumber(const std::array<uint8_t, kBlockSize>& block);

class VirtualInstrument {
public:
    explicit VirtualInstrument(Config config);
    ~VirtualInstrument();
    VirtualInstrument(const VirtualInstrument&) = delete;
    VirtualInstrument& operator=(const VirtualInstrument&) = delete;

    // Opens the pseudo-terminal, links the node, starts the thread. False (see LastError) on failure.
    bool Start();
    // Unlinks the node, closes everything, joins the thread. Idempotent.
    void Stop();
    bool IsRunning() const;
    std::string LastError() const;

    std::string NodePath() const;  // <directory>/ttyACM<node>
    std::string SlavePath() const; // the pty the node links to; empty while unplugged
    int Node() const;

    // Unplug removes the link and closes the pseudo-terminal (the host's descriptor goes dead); Replug
    // makes a new pair and link (optionally under another node number). Both wait until done.
    bool Unplug();
    bool Replug();
    bool Replug(int node);
    bool IsPlugged() const;

    void SetPacing(Pacing pacing);
    Pacing GetPacing() const;

    // Unsolicited messages. They go out even while silent.
    bool SendDataRequest(bool withError = false);
    bool SendReport(Report report, const std::string& payload = std::string());
    bool SendRaw(const std::vector<uint8_t>& bytes);

    // Faults of the replies to one kind of message (Identify, SerialQuery, InfoQuery, PortTag,
    // ConverterQuery, StoreBlock); Silent mutes every reply and every data request of its own.
    void SetFault(MessageKind kind, const Fault& fault);
    void ClearFaults();
    void SetSilent(bool silent);
    // While false, the instrument reads nothing from the port (a stalled instrument): the host's writes
    // fill the pseudo-terminal until they block. Back to true, it takes in what waited.
    void SetTakingInput(bool taking);

    void SetIdentifyReply(const std::string& reply);
    void SetSerialText(const std::string& text);
    void SetConverterValue(uint16_t value);
    void SetInformationBlock(const std::array<uint8_t, kBlockSize>& block);
    std::array<uint8_t, kBlockSize> InformationBlock() const; // as stored now

    // State the host has set.
    uint8_t Range() const;         // last range byte (initialRange before any)
    uint32_t RelayPattern() const; // last relay pattern (0 before any)
    int DcOffsetCode() const;      // last variable offset code, -1 after "off" or before any
    bool BaselineResetOn() const;
    bool IsStreaming() const;

    // Recording: copies taken under the lock.
    Recording Snapshot() const;
    std::vector<CommandRecord> Commands() const;
    std::vector<PacketRecord> Packets() const;
    std::vector<SampleRecord> Samples() const;
    std::vector<PacketViolation> Violations() const;
    std::vector<SentRecord> Sent() const;
    std::vector<EventRecord> Events() const;
    void ClearRecords();
    // Moves the lists out of the recording, leaving it empty but with its totals counting on, so that
    // packet and sample indices stay those of the whole run (for long runs checked piece by piece; nothing
    // is lost between two takes).
    Recording TakeRecords();
    uint64_t TotalPackets() const;
    // Seconds of output played so far (since Start or ClearRecords): in real time what the play clock has
    // gone through, which trails what was received by up to the two buffered packets; with other pacing
    // every whole packet as it arrives. Packets cut short, overrun or dropped by a stop are not played.
    double PlayedSeconds() const;

    // Waits until the predicate holds over the recording (true) or the time-out passes (false).
    bool WaitFor(const std::function<bool(const Recording&)>& predicate,
                 std::chrono::milliseconds timeout) const;
    bool WaitForCommand(MessageKind kind, size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForPackets(uint64_t count, std::chrono::milliseconds timeout) const;
    bool WaitForSamples(uint64_t count, std::chrono::milliseconds timeout) const;
    bool WaitForSent(const std::string& what, size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qoltsim
