#include "sim/VirtualInstrument.h"

#include "sim/HostStreamParser.h"
#include "sim/PacketDecoder.h"
#include "sim/PseudoTerminal.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace qoltsim {

std::vector<uint8_t> FaultReply(const Fault& fault, const std::vector<uint8_t>& reply) {
    switch (fault.kind) {
    case FaultKind::None:
    case FaultKind::Late:
        return reply;
    case FaultKind::Silent:
        return {};
    case FaultKind::Short: {
        const size_t keep = fault.length != 0 ? fault.length : 3;
        return std::vector<uint8_t>(
            reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(std::min(keep, reply.size())));
    }
    case FaultKind::Garbage: {
        if (!fault.bytes.empty()) {
            return fault.bytes;
        }
        std::vector<uint8_t> garbage(16);
        for (size_t i = 0; i < garbage.size(); ++i) {
            garbage[i] = static_cast<uint8_t>(0xFF - i);
        }
        return garbage;
    }
    case FaultKind::WrongToken: {
        std::vector<uint8_t> wrong = reply;
        const std::vector<uint8_t> token =
            fault.bytes.empty() ? std::vector<uint8_t>{'K', 'T', 'R', 'Y'} : fault.bytes;
        for (size_t i = 0; i < token.size() && i < 4; ++i) {
            if (i < wrong.size()) {
                wrong[i] = token[i];
            } else {
                wrong.push_back(token[i]);
            }
        }
        return wrong;
    }
    case FaultKind::Long: {
        std::vector<uint8_t> longer = reply;
        const size_t extra = fault.length != 0 ? fault.length : 40;
        for (size_t i = 0; i < extra; ++i) {
            longer.push_back(fault.bytes.empty() ? static_cast<uint8_t>('Z')
                                                 : fault.bytes[i % fault.bytes.size()]);
        }
        return longer;
    }
    }
    return reply;
}

namespace {

struct Outgoing {
    std::vector<uint8_t> bytes;
    size_t written = 0;
    Clock::time_point due;
    std::string what;
};

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

struct VirtualInstrument::Impl {
    explicit Impl(Config c) : config(std::move(c)), parser(config.messageTimeout) {
        node = config.node;
        pacing = config.pacing;
        block = BuildInformationBlock(config);
        serialText = config.serialText.empty() ? FormatSerialNumber(block) : config.serialText;
        identifyReply = config.identifyReply;
        converterValue = config.converterValue;
        range = config.initialRange;
    }

    const Config config;

    mutable std::mutex mu;
    mutable std::condition_variable cv;

    // Everything below is guarded by mu, except what is marked as the service thread's own.
    Recording rec;
    std::string lastError;
    bool running = false;
    bool stopRequested = false;
    int node = 0;
    Pacing pacing;
    bool silent = false;
    bool takingInput = true;
    std::array<Fault, kMessageKindCount> faults{};
    std::array<uint8_t, kBlockSize> block{};
    std::string serialText;
    std::string identifyReply;
    uint16_t converterValue = 0;
    uint8_t range = 5;
    uint32_t relays = 0;
    int dcCode = -1;
    bool baseline = false;
    std::deque<Outgoing> out;
    size_t outBytes = 0;
    std::string slavePath;
    bool plugged = false;

    // Stream and pacing state.
    bool streaming = false;
    int stream = -1;
    double streamTime = 0.0;
    std::optional<uint8_t> nextCounter;
    int outstanding = 0;
    std::deque<double> playQueue; // durations of the buffered packets, the playing one first
    Clock::time_point playEnd{};
    double played = 0.0; // seconds of packets played to their end (real time) or taken in (other pacing)

    // Work handed to the service thread by Unplug/Replug; results come back through cv.
    std::deque<std::function<void()>> actions;
    uint64_t actionsPosted = 0;
    uint64_t actionsDone = 0;

    // The service thread's own.
    std::thread thread;
    int wakeRead = -1;
    int wakeWrite = -1;
    PseudoTerminal pty;
    HostStreamParser parser;
    Clock::time_point hangupRetry{};

    std::string NodePathLocked() const { return config.directory + "/ttyACM" + std::to_string(node); }

    void Wake() const {
        if (wakeWrite >= 0) {
            const uint8_t one = 1;
            ssize_t r = write(wakeWrite, &one, 1);
            (void)r; // a full pipe already wakes the thread
        }
    }

    // --- recording (mu held) -------------------------------------------------------------------------
    void AddEvent(EventKind kind, Clock::time_point now) {
        if (rec.events.size() < config.maxCommands) {
            rec.events.push_back({kind, now});
        }
    }

    void AddCommand(CommandRecord record) {
        if (rec.commands.size() < config.maxCommands) {
            rec.commands.push_back(std::move(record));
        } else {
            ++rec.droppedCommands;
        }
    }

    void AddViolation(int64_t packet, ViolationKind kind, size_t offset, int expected, int actual) {
        if (rec.violations.size() < config.maxCommands) {
            rec.violations.push_back({packet, kind, offset, expected, actual});
        }
    }

    // --- output (mu held) ----------------------------------------------------------------------------
    void Queue(std::vector<uint8_t> bytes, std::string what, Clock::time_point due) {
        if (bytes.empty()) {
            return;
        }
        if (!plugged) {
            return;
        }
        if (outBytes + bytes.size() > config.maxPendingOutput) {
            AddEvent(EventKind::OutputDropped, Clock::now());
            return;
        }
        // Replies leave in order: one held back delays those behind it.
        if (!out.empty() && out.back().due > due) {
            due = out.back().due;
        }
        outBytes += bytes.size();
        out.push_back({std::move(bytes), 0, due, std::move(what)});
    }

    void Reply(MessageKind kind, std::vector<uint8_t> bytes, const char* what, Clock::time_point now) {
        if (silent) {
            return;
        }
        Fault& fault = faults[static_cast<size_t>(kind)];
        Clock::time_point due = now;
        if (fault.kind != FaultKind::None || fault.delay.count() > 0) {
            bytes = FaultReply(fault, bytes);
            due = now + fault.delay;
            if (fault.count > 0 && --fault.count == 0) {
                fault = Fault{};
            }
        }
        Queue(std::move(bytes), what, due);
    }

    void Request(bool withError, Clock::time_point now) {
        ++outstanding;
        Queue(withError ? Bytes("NX") : Bytes("N"), withError ? "error-request" : "request", now);
    }

    // One request per buffer neither filled nor asked for: after an underrun both buffers were asked for
    // as they ran out, and the first packet back must not ask again (its answer would overrun).
    void RequestFreeBuffer(Clock::time_point now) {
        if (!silent && playQueue.size() + static_cast<size_t>(outstanding) < 2) {
            Request(false, now);
        }
    }

    void Flush(Clock::time_point now) {
        const int fd = pty.Master();
        while (fd >= 0 && !out.empty() && out.front().due <= now) {
            Outgoing& item = out.front();
            const ssize_t n = write(fd, item.bytes.data() + item.written, item.bytes.size() - item.written);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return; // EAGAIN: the host is not reading; poll for POLLOUT
            }
            item.written += static_cast<size_t>(n);
            if (item.written < item.bytes.size()) {
                return;
            }
            outBytes -= item.bytes.size();
            if (rec.sent.size() < config.maxSent) {
                rec.sent.push_back({std::move(item.bytes), Clock::now(), std::move(item.what)});
            }
            out.pop_front();
        }
    }

    // --- stream (mu held) ----------------------------------------------------------------------------
    void StopStream(Clock::time_point now) {
        if (streaming) {
            AddEvent(EventKind::StreamStopped, now);
        }
        streaming = false;
        outstanding = 0;
        playQueue.clear();
        nextCounter.reset();
    }

    void OnPacket(const ParsedMessage& m) {
        const bool complete = m.status == MessageStatus::Ok;
        const int64_t index = static_cast<int64_t>(rec.totalPackets++);
        const bool start = !streaming;
        if (start) {
            streaming = true;
            ++stream;
            streamTime = 0.0;
            nextCounter.reset();
            outstanding = 0;
            playQueue.clear();
            AddEvent(EventKind::StreamStarted, m.time);
        } else if (complete) {
            if (outstanding > 0) {
                --outstanding;
            } else {
                AddViolation(index, ViolationKind::Unrequested, 0, -1, -1);
            }
        }

        PacketCheck check = CheckPacket(m.bytes, m.trustedSubPackets, nextCounter);
        for (auto& v : check.violations) {
            AddViolation(index, v.kind, v.offset, v.expected, v.actual);
        }
        if (check.subPackets > 0) {
            nextCounter = static_cast<uint8_t>(check.lastCounter + 1);
        }

        std::vector<SampleRecord> samples;
        samples.reserve(check.subPackets * kSamplesPerSubPacket);
        const double before = streamTime;
        // The second DAC channel narrows the output's full scale whatever the range command said.
        const uint8_t fullScale = dcCode >= 0 ? config.dcChannelFullScale : range;
        DecodeSamples(m.bytes, check.subPackets, fullScale, static_cast<uint32_t>(index), streamTime,
                      samples);
        const double seconds = streamTime - before;

        PacketRecord p;
        p.index = index;
        p.time = m.time;
        p.complete = complete;
        p.streamStart = start;
        p.stream = stream;
        p.size = m.bytes.size();
        p.firstCounter = check.firstCounter;
        p.lastCounter = check.lastCounter;
        p.firstSample = static_cast<size_t>(rec.totalSamples);
        p.sampleCount = samples.size();
        p.seconds = seconds;
        if (static_cast<size_t>(index) < config.maxPacketsWithBytes) {
            p.bytes = m.bytes;
        }
        rec.totalSamples += samples.size();
        const size_t room =
            config.maxSamples > rec.samples.size() ? config.maxSamples - rec.samples.size() : 0;
        const size_t keep = std::min(room, samples.size());
        rec.samples.insert(rec.samples.end(), samples.begin(),
                           samples.begin() + static_cast<std::ptrdiff_t>(keep));
        rec.droppedSamples += samples.size() - keep;
        if (rec.packets.size() < config.maxPackets) {
            rec.packets.push_back(std::move(p));
        } else {
            ++rec.droppedPackets;
        }

        CommandRecord c;
        c.kind = MessageKind::Packet;
        c.status = m.status;
        c.time = m.time;
        c.packet = index;
        AddCommand(std::move(c));

        if (!complete) {
            return; // a cut packet is not played and asks for nothing
        }
        if (pacing != Pacing::RealTime) {
            played += seconds;
        }
        switch (pacing) {
        case Pacing::Manual:
            break;
        case Pacing::Fast:
            if (!silent) {
                Request(false, m.time);
            }
            break;
        case Pacing::RealTime:
            if (playQueue.size() >= 2) {
                AddViolation(index, ViolationKind::Overrun, 0, -1, -1);
                break;
            }
            playQueue.push_back(seconds);
            if (playQueue.size() == 1) {
                playEnd =
                    m.time + std::chrono::round<Clock::duration>(std::chrono::duration<double>(seconds));
            }
            RequestFreeBuffer(m.time);
            break;
        }
    }

    void Play(Clock::time_point now) {
        if (pacing != Pacing::RealTime) {
            playQueue.clear();
            return;
        }
        while (!playQueue.empty() && now >= playEnd) {
            played += playQueue.front();
            playQueue.pop_front();
            if (!streaming) {
                continue;
            }
            RequestFreeBuffer(playEnd);
            if (playQueue.empty()) {
                AddEvent(EventKind::Underrun, playEnd);
            } else {
                playEnd +=
                    std::chrono::round<Clock::duration>(std::chrono::duration<double>(playQueue.front()));
            }
        }
    }

    // What has been played by now: the packets played out, and of the buffered ones what the play clock has
    // reached (the service thread may not have taken a finished one out yet).
    double PlayedSeconds(Clock::time_point now) const {
        double seconds = played;
        if (pacing != Pacing::RealTime || playQueue.empty()) {
            return seconds;
        }
        auto span = [](double d) {
            return std::chrono::round<Clock::duration>(std::chrono::duration<double>(d));
        };
        Clock::time_point start = playEnd - span(playQueue.front());
        for (double d : playQueue) {
            const double elapsed = std::chrono::duration<double>(now - start).count();
            if (elapsed <= 0.0) {
                break;
            }
            seconds += std::min(elapsed, d);
            if (elapsed < d) {
                break;
            }
            start += span(d);
        }
        return seconds;
    }

    // --- messages (mu held) --------------------------------------------------------------------------
    void OnMessage(const ParsedMessage& m) {
        if (m.kind == MessageKind::Packet) {
            OnPacket(m);
            return;
        }
        CommandRecord c;
        c.kind = m.kind;
        c.status = m.status;
        c.bytes = m.bytes;
        c.time = m.time;
        AddCommand(std::move(c));
        if (m.status != MessageStatus::Ok) {
            return;
        }
        const auto& b = m.bytes;
        switch (m.kind) {
        case MessageKind::Identify:
            Reply(m.kind, Bytes(identifyReply), "identify", m.time);
            break;
        case MessageKind::SerialQuery:
            Reply(m.kind, Bytes(serialText), "serial", m.time);
            break;
        case MessageKind::InfoQuery:
            Reply(m.kind, std::vector<uint8_t>(block.begin(), block.end()), "block", m.time);
            break;
        case MessageKind::PortTag:
            Reply(m.kind, b, "port-tag", m.time);
            break;
        case MessageKind::EndOfIdentification:
            if (!config.versionReportAfterIdentification.empty() && !silent) {
                Queue(Bytes(config.versionReportAfterIdentification), "version", m.time);
            }
            break;
        case MessageKind::StopStream:
        case MessageKind::Close:
            StopStream(m.time);
            break;
        case MessageKind::Range:
            range = b[1];
            break;
        case MessageKind::Relays:
            relays = (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
            break;
        case MessageKind::VariableDcOffset:
            dcCode = (b[1] << 8) | b[2];
            break;
        case MessageKind::DcOffsetOff:
            dcCode = -1;
            baseline = false;
            break;
        case MessageKind::BaselineResetOn:
            baseline = true;
            break;
        case MessageKind::ConverterQuery:
            Reply(m.kind,
                  {0xAD, static_cast<uint8_t>(converterValue >> 8),
                   static_cast<uint8_t>(converterValue & 0xFF)},
                  "converter", m.time);
            break;
        case MessageKind::StoreBlock:
            std::copy(b.begin(), b.end(), block.begin());
            Reply(m.kind, std::vector<uint8_t>(block.begin(), block.end()), "stored-block", m.time);
            break;
        default:
            break;
        }
    }

    // --- plugging (service thread or after it ended) -------------------------------------------------
    bool PlugLocked(Clock::time_point now) {
        std::string error;
        if (!pty.Open(NodePathLocked(), error)) {
            lastError = error;
            return false;
        }
        plugged = true;
        slavePath = pty.SlavePath();
        parser.Reset();
        AddEvent(EventKind::Plugged, now);
        return true;
    }

    void UnplugLocked(Clock::time_point now) {
        if (!plugged) {
            return;
        }
        pty.Close();
        plugged = false;
        slavePath.clear();
        parser.Reset();
        out.clear();
        outBytes = 0;
        StopStream(now);
        AddEvent(EventKind::Unplugged, now);
    }

    // Runs `fn` on the service thread and waits for it. False when the thread is not running.
    bool RunOnThread(std::function<bool()> fn) {
        std::unique_lock<std::mutex> lock(mu);
        if (!running || stopRequested) {
            return false;
        }
        auto result = std::make_shared<bool>(false);
        actions.push_back([fn = std::move(fn), result] { *result = fn(); });
        const uint64_t ticket = ++actionsPosted;
        Wake();
        cv.wait(lock, [&] { return actionsDone >= ticket || !running; });
        return actionsDone >= ticket && *result;
    }

    // --- the service thread --------------------------------------------------------------------------
    void Run() {
        std::vector<uint8_t> chunk(16384);
        std::vector<ParsedMessage> messages;
        for (;;) {
            Clock::time_point now = Clock::now();
            int timeoutMs = -1;
            bool wantWrite = false;
            {
                std::unique_lock<std::mutex> lock(mu);
                while (!actions.empty()) {
                    auto action = std::move(actions.front());
                    actions.pop_front();
                    action(); // runs with mu held
                    ++actionsDone;
                }
                cv.notify_all();
                if (stopRequested) {
                    break;
                }
                parser.SetBlockSignature({{block[0], block[1], block[2]}});
                std::optional<Clock::time_point> deadline = parser.Deadline();
                auto sooner = [&](Clock::time_point t) {
                    if (!deadline || t < *deadline) {
                        deadline = t;
                    }
                };
                if (!out.empty()) {
                    if (out.front().due <= now) {
                        wantWrite = true;
                    } else {
                        sooner(out.front().due);
                    }
                }
                if (pacing == Pacing::RealTime && !playQueue.empty()) {
                    sooner(playEnd);
                }
                if (pty.IsOpen() && hangupRetry > now) {
                    sooner(hangupRetry);
                }
                if (deadline) {
                    const auto wait =
                        std::chrono::duration_cast<std::chrono::microseconds>(*deadline - now).count();
                    timeoutMs =
                        wait <= 0 ? 0 : static_cast<int>(std::min<long long>((wait + 999) / 1000, 1000));
                }
            }

            bool reading;
            {
                std::lock_guard<std::mutex> lock(mu);
                reading = takingInput;
            }
            pollfd fds[2];
            nfds_t count = 0;
            fds[count++] = {wakeRead, POLLIN, 0};
            const bool watchMaster = pty.IsOpen() && hangupRetry <= now;
            if (watchMaster) {
                const short events = static_cast<short>((reading ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
                fds[count++] = {pty.Master(), events, 0};
            }
            const int ready = poll(fds, count, timeoutMs);
            if (ready < 0 && errno != EINTR) {
                std::lock_guard<std::mutex> lock(mu);
                lastError = std::string("poll: ") + std::strerror(errno);
            }
            if ((fds[0].revents & POLLIN) != 0) {
                uint8_t sink[64];
                while (read(wakeRead, sink, sizeof sink) > 0) {
                }
            }

            messages.clear();
            now = Clock::now();
            if (watchMaster && !reading && (fds[1].revents & (POLLHUP | POLLERR)) != 0) {
                // Not reading: a hang-up would be reported at once on every turn.
                hangupRetry = now + std::chrono::milliseconds(2);
            }
            if (watchMaster && reading && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                // Bounded per turn so that actions and the play clock are served between big bursts.
                for (int turn = 0; turn < 8; ++turn) {
                    const ssize_t n = read(pty.Master(), chunk.data(), chunk.size());
                    if (n > 0) {
                        parser.Feed(chunk.data(), static_cast<size_t>(n), now, messages);
                        continue;
                    }
                    if (n < 0 && errno == EINTR) {
                        continue;
                    }
                    if (n == 0 || (n < 0 && errno != EAGAIN)) {
                        // Hang-up of the slave side (not expected while the slave is held open): back off
                        // briefly instead of spinning on a level-triggered POLLHUP.
                        hangupRetry = now + std::chrono::milliseconds(2);
                    }
                    break;
                }
            }
            {
                std::lock_guard<std::mutex> lock(mu);
                parser.Expire(now, messages);
                for (const auto& m : messages) {
                    OnMessage(m);
                }
                Play(now);
                Flush(Clock::now());
            }
            cv.notify_all();
        }
    }
};

VirtualInstrument::VirtualInstrument(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {}

VirtualInstrument::~VirtualInstrument() {
    Stop();
}

bool VirtualInstrument::Start() {
    Impl& m = *impl_;
    std::lock_guard<std::mutex> lock(m.mu);
    if (m.running) {
        m.lastError = "already running";
        return false;
    }
    if (m.config.directory.empty()) {
        m.lastError = "no directory given";
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m.lastError = std::string("pipe2: ") + std::strerror(errno);
        return false;
    }
    m.wakeRead = pipeFds[0];
    m.wakeWrite = pipeFds[1];
    m.stopRequested = false;
    if (!m.PlugLocked(Clock::now())) {
        close(m.wakeRead);
        close(m.wakeWrite);
        m.wakeRead = m.wakeWrite = -1;
        return false;
    }
    try {
        m.thread = std::thread([&m] { m.Run(); });
    } catch (const std::system_error& e) {
        m.lastError = std::string("thread: ") + e.what();
        m.UnplugLocked(Clock::now());
        close(m.wakeRead);
        close(m.wakeWrite);
        m.wakeRead = m.wakeWrite = -1;
        return false;
    }
    m.running = true;
    return true;
}

void VirtualInstrument::Stop() {
    Impl& m = *impl_;
    {
        std::lock_guard<std::mutex> lock(m.mu);
        if (!m.running) {
            return;
        }
        m.stopRequested = true;
        m.Wake();
    }
    if (m.thread.joinable()) {
        m.thread.join();
    }
    std::lock_guard<std::mutex> lock(m.mu);
    m.UnplugLocked(Clock::now());
    close(m.wakeRead);
    close(m.wakeWrite);
    m.wakeRead = m.wakeWrite = -1;
    m.running = false;
    m.actions.clear();
    m.cv.notify_all();
}

bool VirtualInstrument::IsRunning() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->running;
}

std::string VirtualInstrument::LastError() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->lastError;
}

std::string VirtualInstrument::NodePath() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->NodePathLocked();
}

std::string VirtualInstrument::SlavePath() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->slavePath;
}

int VirtualInstrument::Node() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->node;
}

bool VirtualInstrument::Unplug() {
    Impl& m = *impl_;
    return m.RunOnThread([&m] {
        if (!m.plugged) {
            return false;
        }
        m.UnplugLocked(Clock::now());
        return true;
    });
}

bool VirtualInstrument::Replug() {
    Impl& m = *impl_;
    return m.RunOnThread([&m] {
        if (m.plugged) {
            m.UnplugLocked(Clock::now());
        }
        return m.PlugLocked(Clock::now());
    });
}

bool VirtualInstrument::Replug(int node) {
    Impl& m = *impl_;
    return m.RunOnThread([&m, node] {
        if (m.plugged) {
            m.UnplugLocked(Clock::now());
        }
        m.node = node;
        return m.PlugLocked(Clock::now());
    });
}

bool VirtualInstrument::IsPlugged() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->plugged;
}

void VirtualInstrument::SetPacing(Pacing pacing) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->pacing = pacing;
    impl_->Wake();
}

Pacing VirtualInstrument::GetPacing() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->pacing;
}

bool VirtualInstrument::SendDataRequest(bool withError) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (!impl_->running || !impl_->plugged) {
        return false;
    }
    impl_->Request(withError, Clock::now());
    impl_->Wake();
    return true;
}

bool VirtualInstrument::SendReport(Report report, const std::string& payload) {
    if (report == Report::DataRequest || report == Report::ErrorRequest) {
        return SendDataRequest(report == Report::ErrorRequest);
    }
    std::string text;
    const char* what = "";
    switch (report) {
    case Report::Version:
        text = payload.empty() ? "4000002" : payload;
        what = "version";
        break;
    case Report::Sequence:
        text = "S" + (payload.empty() ? std::string(14, '0') : payload);
        what = "sequence";
        break;
    case Report::Report2:
        text = "2" + (payload.empty() ? std::string(6, '0') : payload);
        what = "report2";
        break;
    default:
        return false;
    }
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (!impl_->running || !impl_->plugged) {
        return false;
    }
    impl_->Queue(Bytes(text), what, Clock::now());
    impl_->Wake();
    return true;
}

bool VirtualInstrument::SendRaw(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (!impl_->running || !impl_->plugged) {
        return false;
    }
    impl_->Queue(bytes, "raw", Clock::now());
    impl_->Wake();
    return true;
}

void VirtualInstrument::SetFault(MessageKind kind, const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults[static_cast<size_t>(kind)] = fault;
}

void VirtualInstrument::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.fill(Fault{});
    impl_->silent = false;
}

void VirtualInstrument::SetSilent(bool silent) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->silent = silent;
}

void VirtualInstrument::SetTakingInput(bool taking) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->takingInput = taking;
    impl_->Wake();
}

void VirtualInstrument::SetIdentifyReply(const std::string& reply) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->identifyReply = reply;
}

void VirtualInstrument::SetSerialText(const std::string& text) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->serialText = text;
}

void VirtualInstrument::SetConverterValue(uint16_t value) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->converterValue = value;
}

void VirtualInstrument::SetInformationBlock(const std::array<uint8_t, kBlockSize>& block) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->block = block;
    impl_->Wake();
}

std::array<uint8_t, kBlockSize> VirtualInstrument::InformationBlock() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->block;
}

uint8_t VirtualInstrument::Range() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->range;
}

uint32_t VirtualInstrument::RelayPattern() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->relays;
}

int VirtualInstrument::DcOffsetCode() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->dcCode;
}

bool VirtualInstrument::BaselineResetOn() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->baseline;
}

bool VirtualInstrument::IsStreaming() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->streaming;
}

Recording VirtualInstrument::Snapshot() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec;
}

std::vector<CommandRecord> VirtualInstrument::Commands() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.commands;
}

std::vector<PacketRecord> VirtualInstrument::Packets() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.packets;
}

std::vector<SampleRecord> VirtualInstrument::Samples() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.samples;
}

std::vector<PacketViolation> VirtualInstrument::Violations() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.violations;
}

std::vector<SentRecord> VirtualInstrument::Sent() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.sent;
}

std::vector<EventRecord> VirtualInstrument::Events() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.events;
}

double VirtualInstrument::PlayedSeconds() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->PlayedSeconds(Clock::now());
}

void VirtualInstrument::ClearRecords() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->rec = Recording{};
    impl_->played = 0.0;
    impl_->stream = impl_->streaming ? 0 : -1;
}

Recording VirtualInstrument::TakeRecords() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    Recording taken = std::move(impl_->rec);
    Recording& rec = impl_->rec;
    rec = Recording{};
    rec.totalPackets = taken.totalPackets;
    rec.totalSamples = taken.totalSamples;
    rec.droppedCommands = taken.droppedCommands;
    rec.droppedSamples = taken.droppedSamples;
    rec.droppedPackets = taken.droppedPackets;
    return taken;
}

uint64_t VirtualInstrument::TotalPackets() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rec.totalPackets;
}

bool VirtualInstrument::WaitFor(const std::function<bool(const Recording&)>& predicate,
                                std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->cv.wait_for(lock, timeout, [&] { return predicate(impl_->rec); });
}

bool VirtualInstrument::WaitForCommand(MessageKind kind, size_t count,
                                       std::chrono::milliseconds timeout) const {
    return WaitFor([&](const Recording& r) { return r.CountCommands(kind) >= count; }, timeout);
}

bool VirtualInstrument::WaitForPackets(uint64_t count, std::chrono::milliseconds timeout) const {
    return WaitFor([&](const Recording& r) { return r.totalPackets >= count; }, timeout);
}

bool VirtualInstrument::WaitForSamples(uint64_t count, std::chrono::milliseconds timeout) const {
    return WaitFor([&](const Recording& r) { return r.totalSamples >= count; }, timeout);
}

bool VirtualInstrument::WaitForSent(const std::string& what, size_t count,
                                    std::chrono::milliseconds timeout) const {
    return WaitFor([&](const Recording& r) { return r.CountSent(what) >= count; }, timeout);
}

} // namespace qoltsim
