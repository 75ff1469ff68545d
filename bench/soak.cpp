// Soak: hours of output against the virtual instrument with the settings changed at random every few
// packets from two threads and recordings loaded between them, first with fast pacing, then in real time.
//
// Checked, piece by piece as the instrument records (TakeRecords loses nothing between pieces):
//   - packet structure: no violation of any kind at the instrument (overruns count apart in real time);
//   - counters: every packet's first counter follows the previous packet's last, across the whole run;
//   - samples against a model: for sine, triangle and square (5..50 Hz, so every packet holds a cycle and
//     every change is in force within a packet), every sample lies within the peak of one of the settings
//     in force around its packet, and a packet that only one setting can have made reaches that peak;
//     packets of a played recording are only checked for structure;
//   - resources: memory in use (anonymous, resident or swapped), descriptors and threads, sampled every
//     --sample-seconds; at the end descriptors and threads are those of the start, and memory is not above
//     the largest sample taken while streaming by more than 8 MB;
//   - in real time (from 2 s after the switch): no underrun and no overrun at the instrument.
//
//   qolt_soak [--fast-output SECONDS] [--realtime SECONDS] [--sample-seconds S] [--seed N]
// Defaults: 7200 s of output with fast pacing (about 24,000 packets), then 600 s in real time, samples
// every 60 s. Exit code 0 when every check held. Run by hand; scripts/check.sh soak runs a one-minute form.
#include "BenchLink.h"
#include "device/Platform.h"
#include "qolt_api.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Volts of the sample scale per unit of the amplitude setting.
constexpr double kVoltsPerAmplitude = 1.0 / 400.0;
// The instrument's packet count at a call may trail the packets built by two (the stream's first packet
// comes unasked, and one answers the request in flight), and a change takes effect at the end of the
// running cycle (at most 0.2 s of output at 5 Hz, within the next packet's 0.3 s): three packets.
constexpr uint64_t kSlackPackets = 3;
// A played recording's cycle is the whole recording (4 s of output, 14 packets).
constexpr uint64_t kRecordingSlackPackets = 16;

// Half a step of the 12-bit code in the range a sample was decoded with.
double HalfStep(const qoltsim::SampleRecord& s) {
    return s.HighRange() ? 0.5 : s.range / 2000.0;
}

struct Setting {
    uint64_t fromPacket; // the instrument's packet count when the call was made
    uint64_t doneAt;     // and when it returned (a stop settles 300 ms, many packets in fast pacing)
    int function;        // 1 sine, 2 triangle, 3 square, 7 a played recording
    double amplitude;
    double frequency;
};

struct Resources {
    double seconds;
    long rssKb;
    size_t fds, threads;
};

size_t CountEntries(const char* dir) {
    size_t n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.' ? 1 : 0;
        closedir(d);
    }
    return n;
}

// Anonymous memory, resident or swapped out: on a shared machine the pages of the program's file may
// be dropped and others swapped out, which would read as a shrinking resident set.
long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    long kb = 0;
    while (std::getline(in, line))
        if (line.rfind("RssAnon:", 0) == 0 || line.rfind("VmSwap:", 0) == 0)
            kb += std::atol(line.c_str() + line.find(':') + 1);
    return kb;
}

class Soak {
public:
    Soak(qoltsim::VirtualInstrument& vi, unsigned seed) : vi_(vi), seed_(seed) {}

    // The settings threads: one changes amplitude and frequency, the other the function and, now and
    // then, loads a recording and plays it.
    void StartChanging(const std::string& recordingPath) {
        stop_ = false;
        threads_.emplace_back([this] { ChangeAmplitudeAndFrequency(); });
        threads_.emplace_back([this, recordingPath] { ChangeFunction(recordingPath); });
    }
    void StopChanging() {
        stop_ = true;
        for (auto& t : threads_)
            t.join();
        threads_.clear();
    }

    void Check(const qoltsim::Recording& r) {
        for (const auto& v : r.violations) {
            if (v.kind == qoltsim::ViolationKind::Overrun) {
                ++overruns_;
                continue;
            }
            if (++structureErrors_ <= 5)
                std::printf("  violation %s at packet %lld offset %zu\n", qoltsim::ViolationKindName(v.kind),
                            static_cast<long long>(v.packet), v.offset);
        }
        underruns_ += r.CountEvents(qoltsim::EventKind::Underrun);
        // Each request against the next packet, in time order (a request's answer may come in the next
        // piece of the recording). A stream's start leaves the old stream's requests unanswered by design.
        enum Entry { kRequest, kPacket, kStreamStart };
        std::vector<std::pair<Clock::time_point, Entry>> timeline;
        for (const auto& p : r.packets)
            timeline.emplace_back(p.time, p.streamStart ? kStreamStart : kPacket);
        // After the packets: at equal times a request follows the packet it answers.
        for (const auto& sent : r.sent)
            if (sent.what == "request")
                timeline.emplace_back(sent.time, kRequest);
        std::stable_sort(timeline.begin(), timeline.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [time, entry] : timeline) {
            if (entry == kRequest) {
                pendingRequests_.push_back(time);
                continue;
            }
            if (entry == kStreamStart) {
                pendingRequests_.clear();
                continue;
            }
            if (pendingRequests_.empty())
                continue;
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(time - pendingRequests_.front())
                    .count();
            pendingRequests_.pop_front();
            longestAnswerUs_ = std::max(longestAnswerUs_, static_cast<long long>(us));
            slowAnswers_ += us >= 100000 ? 1 : 0;
        }
        // QOLT_SOAK_DEBUG: each underrun shows what the instrument sent, received and noted in the 2.5 s
        // before it.
        if (std::getenv("QOLT_SOAK_DEBUG") != nullptr) {
            std::vector<std::pair<Clock::time_point, std::string>> items;
            for (const auto& sent : r.sent)
                items.emplace_back(sent.time, "sent " + sent.what);
            for (const auto& c : r.commands)
                items.emplace_back(c.time, std::string("got ") + qoltsim::MessageKindName(c.kind) + " " +
                                               qoltsim::MessageStatusName(c.status));
            for (const auto& e : r.events)
                items.emplace_back(e.time, std::string("event ") + qoltsim::EventKindName(e.kind));
            std::stable_sort(items.begin(), items.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (auto& item : items) {
                history_.push_back(item);
                if (item.second == "event underrun") {
                    std::printf("  underrun; longest request-to-packet so far %.1f ms; before it:\n",
                                longestAnswerUs_ / 1000.0);
                    for (const auto& h : history_)
                        if (item.first - h.first < 2500ms)
                            std::printf("    %9.3f %s\n",
                                        std::chrono::duration<double>(h.first - item.first).count(),
                                        h.second.c_str());
                }
            }
            while (history_.size() > 400)
                history_.pop_front();
        }
        dropped_ = r.droppedSamples + r.droppedPackets; // totals of the whole run
        std::vector<Setting> settings;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            settings = settings_;
        }
        size_t sample = 0; // index into r.samples of the packet's first sample
        for (const auto& p : r.packets) {
            ++packets_;
            if (p.streamStart || p.stream != lastStream_)
                ++streams_;
            else if (haveCounter_ && p.firstCounter != static_cast<uint8_t>(lastCounter_ + 1))
                ++counterBreaks_;
            haveCounter_ = p.sampleCount > 0;
            lastCounter_ = p.lastCounter;
            lastStream_ = p.stream;
            CheckPacket(p, settings, r.samples, sample);
            sample += p.sampleCount;
        }
    }

    // Forgets the settings that can no longer be in force for any packet not yet checked.
    void Prune() {
        const uint64_t next = packets_;
        std::lock_guard<std::mutex> lock(mutex_);
        while (settings_.size() > 2 && settings_[1].doneAt + kRecordingSlackPackets + 8 < next)
            settings_.erase(settings_.begin());
    }

    bool Report() const {
        std::printf("packets %llu (streams %llu), structure errors %llu, counter breaks %llu, overruns %llu, "
                    "underruns %llu, dropped from the recording %llu\n",
                    U(packets_), U(streams_), U(structureErrors_), U(counterBreaks_), U(overruns_),
                    U(underruns_), U(dropped_));
        std::printf(
            "samples checked against the model %llu (packets %llu), outside every setting's peak %llu, "
            "packets short of their one setting's peak %llu, packets of recordings %llu\n",
            U(samplesModelled_), U(packetsModelled_), U(outsidePeak_), U(shortOfPeak_),
            U(packetsOfRecordings_));
        std::printf("packets whose frequency was measured %llu, off their one setting's frequency by over 2 "
                    "%% %llu\n",
                    U(packetsFrequencyChecked_), U(wrongFrequency_));
        std::printf("setting calls %llu, refused %llu, recordings loaded %llu\n", U(calls_), U(refused_),
                    U(loads_));
        std::printf("request to packet: longest %.1f ms, %llu of 100 ms or more\n", longestAnswerUs_ / 1000.0,
                    U(slowAnswers_));
        const char* names[kCallKinds] = {"SetAmplitude", "SetFrequency", "SetOutputFunc", "LoadEEGtxt"};
        for (int k = 0; k < kCallKinds; ++k)
            std::printf("  %-13s longest %.1f ms, %llu of 100 ms or more\n", names[k], longestUs_[k] / 1000.0,
                        U(slowCalls_[k]));
        return structureErrors_ == 0 && counterBreaks_ == 0 && outsidePeak_ == 0 && shortOfPeak_ == 0 &&
               wrongFrequency_ == 0 && packetsFrequencyChecked_ > 0 && refused_ == 0 && dropped_ == 0 &&
               packetsModelled_ > 0;
    }

    uint64_t Underruns() const { return underruns_; }
    uint64_t Overruns() const { return overruns_; }

    void Record(const Setting& s) {
        std::lock_guard<std::mutex> lock(mutex_);
        settings_.push_back(s);
    }
    Setting Current() {
        std::lock_guard<std::mutex> lock(mutex_);
        return settings_.back();
    }

private:
    static unsigned long long U(uint64_t v) { return static_cast<unsigned long long>(v); }

    void CheckPacket(const qoltsim::PacketRecord& p, const std::vector<Setting>& settings,
                     const std::vector<qoltsim::SampleRecord>& samples, size_t first) {
        if (p.sampleCount == 0 || first + p.sampleCount > samples.size())
            return;
        const uint64_t index = static_cast<uint64_t>(p.index);
        // Settings that may have made this packet: made before it, and not replaced long before it.
        std::vector<const Setting*> candidates;
        for (size_t k = 0; k < settings.size(); ++k) {
            const bool started = settings[k].fromPacket <= index;
            const uint64_t slack = settings[k].function == 7 ? kRecordingSlackPackets : kSlackPackets;
            const bool notReplaced = k + 1 == settings.size() || settings[k + 1].doneAt + slack >= index;
            if (started && notReplaced)
                candidates.push_back(&settings[k]);
        }
        if (candidates.empty())
            return;
        double allowed = 0.0;
        for (const Setting* s : candidates) {
            if (s->function == 7) {
                ++packetsOfRecordings_;
                return;
            }
            allowed = std::max(allowed, std::abs(s->amplitude) * kVoltsPerAmplitude);
        }
        ++packetsModelled_;
        double peak = 0.0;
        for (size_t i = first; i < first + p.sampleCount; ++i) {
            const auto& s = samples[i];
            // Half a step of the 12-bit code in the range the sample was decoded with, and rounding.
            const double step = HalfStep(s);
            const double v = std::abs(s.value);
            peak = std::max(peak, v);
            ++samplesModelled_;
            if (v > allowed + step + 1e-9 && ++outsidePeak_ <= 2) {
                std::printf("  sample %.4f V of packet %llu (sample %zu of it) beyond the peak %.4f V\n",
                            s.value, U(index), i - first, allowed);
                if (std::getenv("QOLT_SOAK_DEBUG") != nullptr)
                    for (size_t k = 0; k < settings.size(); ++k)
                        if (const Setting& c = settings[k];
                            (k + 1 < settings.size() && settings[k + 1].fromPacket + 12 >= index &&
                             c.fromPacket <= index + 5))
                            std::printf("    from %llu: function %d amplitude %.0f frequency %.1f\n",
                                        U(c.fromPacket), c.function, c.amplitude, c.frequency);
            }
        }
        if (candidates.size() == 1) {
            const double step = HalfStep(samples[first]);
            if (peak < allowed * 0.97 - step && ++shortOfPeak_ <= 5)
                std::printf("  packet %llu peaks at %.4f V, its setting at %.4f V\n", U(index), peak,
                            allowed);
            CheckFrequency(index, *candidates.front(), samples, first, first + p.sampleCount);
        }
    }

    // Sine, triangle and square change sign every half period: the span from the packet's first sign
    // change to its last gives the frequency to a sample (0.2 ms) at each end.
    void CheckFrequency(uint64_t index, const Setting& setting,
                        const std::vector<qoltsim::SampleRecord>& samples, size_t from, size_t to) {
        int sign = 0;
        int changes = 0;
        double firstChange = 0.0, lastChange = 0.0;
        for (size_t i = from; i < to; ++i) {
            const double half = HalfStep(samples[i]);
            const int now = samples[i].value > half ? 1 : samples[i].value < -half ? -1 : 0;
            if (now == 0)
                continue;
            if (sign != 0 && now != sign) {
                lastChange = samples[i].time;
                if (changes++ == 0)
                    firstChange = lastChange;
            }
            sign = now;
        }
        if (changes < 2)
            return;
        ++packetsFrequencyChecked_;
        const double measured = (changes - 1) / (2.0 * (lastChange - firstChange));
        if (std::abs(measured - setting.frequency) > 0.02 * setting.frequency && ++wrongFrequency_ <= 5)
            std::printf("  packet %llu at %.3f Hz, its setting at %.3f Hz\n", U(index), measured,
                        setting.frequency);
    }

    // Every few packets, as the instrument counts them.
    void Pause(std::mt19937& random) {
        const uint64_t until = vi_.TotalPackets() + 1 + random() % 4;
        while (!stop_ && vi_.TotalPackets() < until)
            std::this_thread::sleep_for(1ms);
    }

    void ChangeAmplitudeAndFrequency() {
        std::mt19937 random(seed_);
        const double frequencies[] = {5.0, 7.5, 10.0, 20.0, 33.0, 50.0};
        while (!stop_) {
            Pause(random);
            // The record's order is the calls' order, and each record starts from the one before.
            std::lock_guard<std::mutex> order(callMutex_);
            Setting s = Current();
            s.amplitude = static_cast<double>(static_cast<int>(random() % 3801) - 1900);
            if (std::abs(s.amplitude) < 50.0)
                s.amplitude = 50.0;
            s.frequency = frequencies[random() % 6];
            s.fromPacket = s.doneAt = vi_.TotalPackets();
            Record(s);
            Call(kAmplitude, [&] { return SetAmplitude(s.amplitude); });
            Call(kFrequency, [&] { return SetFrequency(s.frequency); });
            Done();
        }
    }

    void ChangeFunction(const std::string& recordingPath) {
        std::mt19937 random(seed_ * 7919 + 1);
        while (!stop_) {
            Pause(random);
            const unsigned pick = random() % 16;
            int function = 1 + static_cast<int>(pick % 3);
            if (pick == 0) {
                // A recording loaded while the output runs, then played for a few packets.
                const std::wstring wide(recordingPath.begin(), recordingPath.end());
                const auto start = Clock::now();
                const int loaded = LoadEEGtxt(wide.c_str());
                NoteTime(kLoad, Clock::now() - start);
                if (loaded == 1) {
                    ++loads_;
                } else {
                    ++refused_;
                }
                function = 7;
            }
            std::lock_guard<std::mutex> order(callMutex_);
            Setting s = Current();
            s.function = function;
            s.fromPacket = s.doneAt = vi_.TotalPackets();
            Record(s);
            Call(kFunction, [&] { return SetOutputFunc(s.function); });
            Done();
        }
    }

    void Done() {
        const uint64_t now = vi_.TotalPackets();
        std::lock_guard<std::mutex> lock(mutex_);
        settings_.back().doneAt = now;
    }

    enum CallKind { kAmplitude, kFrequency, kFunction, kLoad, kCallKinds };

    template <class F> void Call(CallKind kind, F call) {
        const auto start = Clock::now();
        const int result = call();
        NoteTime(kind, Clock::now() - start);
        ++calls_;
        if (result != 0)
            ++refused_;
    }

    // The longest each kind of call took, and how many took 100 ms or more.
    void NoteTime(CallKind kind, Clock::duration took) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
        std::lock_guard<std::mutex> lock(mutex_);
        longestUs_[kind] = std::max(longestUs_[kind], static_cast<long long>(us));
        slowCalls_[kind] += us >= 100000 ? 1 : 0;
    }

    qoltsim::VirtualInstrument& vi_;
    unsigned seed_;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::mutex callMutex_;
    std::vector<Setting> settings_;

    std::atomic<uint64_t> calls_{0}, refused_{0}, loads_{0};
    long long longestUs_[kCallKinds] = {};
    long long longestAnswerUs_ = 0;
    std::deque<Clock::time_point> pendingRequests_;
    std::deque<std::pair<Clock::time_point, std::string>> history_;
    uint64_t slowAnswers_ = 0;
    uint64_t slowCalls_[kCallKinds] = {};
    uint64_t packets_ = 0, streams_ = 0, structureErrors_ = 0, counterBreaks_ = 0, overruns_ = 0,
             underruns_ = 0, dropped_ = 0;
    uint64_t samplesModelled_ = 0, packetsModelled_ = 0, outsidePeak_ = 0, shortOfPeak_ = 0,
             packetsOfRecordings_ = 0, packetsFrequencyChecked_ = 0, wrongFrequency_ = 0;
    bool haveCounter_ = false;
    uint8_t lastCounter_ = 0;
    int lastStream_ = -1;
};

double Arg(int argc, char** argv, const char* name, double fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atof(argv[i + 1]);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const double fastOutput = Arg(argc, argv, "--fast-output", 7200.0);
    const double realtime = Arg(argc, argv, "--realtime", 600.0);
    const double sampleEvery = Arg(argc, argv, "--sample-seconds", 60.0);
    const unsigned seed = static_cast<unsigned>(Arg(argc, argv, "--seed", 1.0));

    qoltsim::TempDir dir("qolt-soak");
    // A recording of 4 s at 250 samples/s: a 3 Hz sine.
    const std::string recording = dir.Path() + "/recording.txt";
    {
        std::ofstream out(recording);
        out << "250\n1\n";
        for (int i = 0; i < 1000; ++i)
            out << static_cast<int>(std::lround(1500.0 * std::sin(2 * M_PI * 3.0 * i / 250.0))) << "\n";
    }
    qoltsim::Config config;
    config.directory = dir.Path();
    config.pacing = qoltsim::Pacing::Fast;
    qoltsim::VirtualInstrument vi(config);
    if (!vi.Start() || !benchlink::LinkTo(dir.Path())) {
        std::fprintf(stderr, "no link to the virtual instrument: %s\n", vi.LastError().c_str());
        return 2;
    }

    Soak soak(vi, seed);
    const Setting first{0, 0, 1, 500.0, 10.0};
    soak.Record(first);
    SetAmplitude(first.amplitude);
    SetFrequency(first.frequency);
    if (SetOutputFunc(first.function) != 0)
        return 2;

    std::vector<Resources> samples;
    const auto start = Clock::now();
    auto nextSample = start;
    const auto sampleNow = [&](bool scheduled = true) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        malloc_trim(0); // what is counted is memory in use, not what the allocator keeps for later
        samples.push_back({t, ResidentKb(), CountEntries("/proc/self/fd"), CountEntries("/proc/self/task")});
        const Resources& r = samples.back();
        std::printf("%7.1f s: output %.0f s, rss %ld kB, descriptors %zu, threads %zu\n", r.seconds,
                    vi.PlayedSeconds(), r.rssKb, r.fds, r.threads);
        std::fflush(stdout);
        if (scheduled)
            nextSample += std::chrono::milliseconds(static_cast<long long>(sampleEvery * 1000));
    };
    // A stream that stops for 10 s ends the run as failed rather than holding it for ever.
    bool stalled = false;
    const auto runPhase = [&](auto done) {
        double output = vi.PlayedSeconds();
        auto moved = Clock::now();
        while (!stalled && !done()) {
            std::this_thread::sleep_for(20ms);
            soak.Check(vi.TakeRecords());
            soak.Prune();
            if (Clock::now() >= nextSample)
                sampleNow();
            if (vi.PlayedSeconds() != output) {
                output = vi.PlayedSeconds();
                moved = Clock::now();
            } else if (Clock::now() - moved >= 10s) {
                std::printf("the output stalled at %.1f s of output\n", output);
                stalled = true;
            }
        }
    };

    sampleNow();
    soak.StartChanging(recording);
    std::printf("fast pacing: %.0f s of output\n", fastOutput);
    runPhase([&] { return vi.PlayedSeconds() >= fastOutput; });
    const double fastWall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("  took %.1f s\n", fastWall);
    // A sample while the stream runs, however short the fast phase was: the baseline of the memory check.
    sampleNow(false);

    // The switch finds the instrument's buffers empty (an underrun) and a packet asked for before it
    // may find them full (an overrun): the real-time figures count from two seconds after it.
    vi.SetPacing(qoltsim::Pacing::RealTime);
    const auto realStart = Clock::now();
    std::printf("real time: %.0f s\n", realtime);
    runPhase([&] { return Clock::now() - realStart >= 2s; });
    const uint64_t underrunsBefore = soak.Underruns();
    const uint64_t overrunsBefore = soak.Overruns();
    runPhase([&] { return std::chrono::duration<double>(Clock::now() - realStart).count() >= realtime; });
    soak.StopChanging();
    soak.Check(vi.TakeRecords());
    sampleNow();
    const uint64_t realUnderruns = soak.Underruns() - underrunsBefore;
    const uint64_t realOverruns = soak.Overruns() - overrunsBefore;
    std::printf("in real time after the switch: underruns %llu, overruns %llu\n",
                static_cast<unsigned long long>(realUnderruns),
                static_cast<unsigned long long>(realOverruns));

    std::printf("packet writes that waited out their time for room: %lu\n", _PortWriteTimeouts());
    Close();
    bool ok = soak.Report() && realUnderruns == 0 && realOverruns == 0 && !stalled;
    // The first sample after the stream has run a while is the baseline (buffers reach their size).
    // Descriptors and threads against the first sample (both without the settings threads); memory against
    // the largest sample taken while the stream ran (the instrument's recording comes and goes in pieces).
    const Resources& a = samples.front();
    const Resources& b = samples.back();
    long busiest = a.rssKb;
    for (size_t i = 1; i + 1 < samples.size(); ++i)
        busiest = std::max(busiest, samples[i].rssKb);
    std::printf("resources first/last: memory %ld (largest while streaming %ld)/%ld kB, descriptors %zu/%zu, "
                "threads %zu/%zu\n",
                a.rssKb, busiest, b.rssKb, a.fds, b.fds, a.threads, b.threads);
    if (b.fds > a.fds || b.threads > a.threads || b.rssKb > busiest + 8 * 1024) {
        std::printf("resources grew\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
