// LoadEEGtxt, LoadEEGbin and EnablePlayRawDataLoop: codes, clamping, peak, what a failure leaves, paths.
#include "PlaybackTestSupport.h"

#include "core/SessionSync.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "qolt_api.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <limits>
#include <string>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace playback_test;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s += static_cast<char>(b);
    }
    return s;
}

// A binary recording: big-endian rate, count and samples.
std::string Binary(int rate, int32_t count, const std::vector<int16_t>& samples) {
    std::string s = Bytes({(rate >> 8) & 0xFF, rate & 0xFF});
    const auto n = static_cast<uint32_t>(count);
    s += Bytes({int(n >> 24), int((n >> 16) & 0xFF), int((n >> 8) & 0xFF), int(n & 0xFF)});
    for (int16_t v : samples) {
        const auto u = static_cast<uint16_t>(v);
        s += Bytes({u >> 8, u & 0xFF});
    }
    return s;
}

class Loaders : public ::testing::Test {
protected:
    TempDir dir;

    int Txt(const std::string& content, const std::string& name = "r.txt") {
        return LoadEEGtxt(Wide(dir.Write(name, content)).c_str());
    }
    int Bin(const std::string& content, const std::string& name = "r.bin") {
        return LoadEEGbin(Wide(dir.Write(name, content)).c_str());
    }
};

struct TextCase {
    const char* what;
    std::string content;
    int result;
    std::vector<double> values;
    double rate;
    double max;
};

TEST_F(Loaders, TextRecordings) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    (void)nan;
    const TextCase cases[] = {
        {"plain", "256\n3\n1\n-2\n3.5\n", 3, {1, -2, 3.5}, 256, 0.0035},
        {"header only", "100\n5\n", 0, {}, 100, 0},
        {"clamped above, peak capped", "100\n2\n7000\n-10\n", 2, {5000, -10}, 100, 5.0},
        {"clamped below", "100\n2\n-7000\n10\n", 2, {-5000, 10}, 100, 5.0},
        {"peak 1234", "100\n3\n10\n-1234\n1000\n", 3, {10, -1234, 1000}, 100, 1.234},
        {"fewer lines than announced", "50\n10\n1\n2\n3\n4\n", 4, {1, 2, 3, 4}, 50, 0.004},
        {"more lines than announced", "50\n2\n1\n2\n3\n4\n", 2, {1, 2}, 50, 0.002},
        {"no number is 0", "50\n3\nabc\n\n7\n", 3, {0, 0, 7}, 50, 0.007},
        {"CRLF", "250\r\n2\r\n1.5\r\n-1\r\n", 2, {1.5, -1}, 250, 0.0015},
        {"no final line feed", "250\n2\n1\n2", 2, {1, 2}, 250, 0.002},
        {"atof forms", "1e3\n+4\n  -2.5e1 mV\n0x10\n.5\ninf\n", 4, {-25, 16, 0.5, 5000}, 1000, 5.0},
        {"NaN sample is 0", "10\n3\nnan\n-nan\n2\n", 3, {0, 0, 2}, 10, 0.002},
        {"fractional rate", "0.5\n1\n1\n", 1, {1}, 0.5, 0.001},
        {"rate text after number", "128 Hz\n1 sample\n3 uV\n", 1, {3}, 128, 0.003},
        {"count beyond int", "10\n99999999999\n1\n2\n", 2, {1, 2}, 10, 0.002},
        {"count with fraction", "10\n2.9\n1\n2\n3\n", 2, {1, 2}, 10, 0.002},
        {"terminator inside a line", std::string("10\n2\n12\0 34\n5\n", 14), 2, {12, 5}, 10, 0.012},
        // A line longer than 127 characters is read in pieces, each one a sample.
        {"long line", "10\n5\n" + std::string(130, ' ') + "7\n8\n", 3, {0, 7, 8}, 10, 0.008},
        {"127 bytes with the line feed", "10\n5\n" + std::string(125, ' ') + "7\n8\n", 2, {7, 8}, 10, 0.008},
        {"128 bytes: the line feed alone",
         "10\n5\n" + std::string(126, ' ') + "7\n8\n",
         3,
         {7, 0, 8},
         10,
         0.008},
        {"129 bytes", "10\n5\n" + std::string(127, ' ') + "7\n8\n", 3, {0, 7, 8}, 10, 0.008},
        {"long first line", std::string(127, ' ') + "5\n2\n1\n", -2, {}, 0, 0},
    };
    for (const TextCase& c : cases) {
        _EmptyRecording();
        g_fECGFileFreq = 0;
        g_fECGFileMax = 0;
        EXPECT_EQ(Txt(c.content), c.result) << c.what;
        if (c.result < 0) {
            continue;
        }
        EXPECT_EQ(LoadedValues(), c.values) << c.what;
        EXPECT_EQ(g_nECGFileSize, c.result) << c.what;
        EXPECT_EQ(g_fECGFileFreq, c.rate) << c.what;
        EXPECT_DOUBLE_EQ(g_fECGFileMax, c.max) << c.what;
    }
}

TEST_F(Loaders, TextHeaderOnlyLeavesAnEmptyBuffer) {
    ASSERT_EQ(Txt("100\n2\n3000\n1\n", "a.txt"), 2);
    ASSERT_EQ(Txt("200\n5\n", "b.txt"), 0);
    EXPECT_EQ(g_pECGFile, nullptr);
    EXPECT_EQ(g_nECGFileSize, 0);
    EXPECT_EQ(g_fECGFileMax, 0.0);
    EXPECT_EQ(g_fECGFileFreq, 200.0);
}

struct FailureCase {
    const char* what;
    std::string content;
    int result;
};

// -1, -2 and -3 leave the loaded recording as it was; -4 empties it.
void ExpectFailuresKeepOrEmpty(const std::vector<FailureCase>& cases, int (*load)(const wchar_t*),
                               const TempDir& dir, const std::string& good) {
    const std::wstring goodPath = Wide(dir.Write("good", good));
    for (const FailureCase& c : cases) {
        ASSERT_GT(load(goodPath.c_str()), 0);
        const PlaybackState before = PlaybackState::Now();
        const std::vector<double> values = before.Values();
        EXPECT_EQ(load(Wide(dir.Write("bad", c.content)).c_str()), c.result) << c.what;
        const PlaybackState after = PlaybackState::Now();
        if (c.result == -4) {
            EXPECT_EQ(after.samples, nullptr) << c.what;
            EXPECT_EQ(after.count, 0) << c.what;
        } else {
            EXPECT_EQ(after.samples, before.samples) << c.what;
            EXPECT_EQ(after.count, before.count) << c.what;
            EXPECT_EQ(after.Values(), values) << c.what;
        }
        EXPECT_EQ(after.rate, before.rate) << c.what;
        EXPECT_EQ(after.max, before.max) << c.what;
    }
}

TEST_F(Loaders, TextFailures) {
    ExpectFailuresKeepOrEmpty(
        {
            {"empty file", "", -2},
            {"rate 0", "0\n3\n1\n", -2},
            {"rate 0.0 with text", "0.0 Hz\n3\n1\n", -2},
            {"rate not a number", "abc\n3\n1\n", -2},
            {"rate negative", "-250\n3\n1\n", -2},
            {"rate NaN", "nan\n3\n1\n", -2},
            {"rate infinite", "inf\n3\n1\n", -2},
            {"rate overflows", "1e999\n3\n1\n", -2},
            {"no second line", "250\n", -3},
            {"no second line, no line feed", "250", -3},
            {"count 0", "250\n0\n1\n", -3},
            {"count not a number", "250\nabc\n1\n", -3},
            {"count negative", "250\n-3\n1\n", -4},
            {"count below int", "250\n-99999999999\n1\n", -4},
        },
        LoadEEGtxt, dir, "100\n3\n1\n2\n3\n");
}

TEST_F(Loaders, BinaryRecordings) {
    struct Case {
        const char* what;
        std::string content;
        int result;
        std::vector<double> values;
        double rate;
        double max;
    };
    const Case cases[] = {
        {"plain", Binary(256, 3, {1, -2, 300}), 3, {1, -2, 300}, 256, 0.3},
        {"FF 38 is -200", Binary(1, 1, {}) + Bytes({0xFF, 0x38}), 1, {-200}, 1, 0.2},
        {"80 00 is -5000", Binary(500, 1, {}) + Bytes({0x80, 0x00}), 1, {-5000}, 500, 5.0},
        {"7FFF is 5000", Binary(500, 1, {32767}), 1, {5000}, 500, 5.0},
        {"10 announced, 4 held", Binary(100, 10, {1, 2, 3, 4}), 4, {1, 2, 3, 4}, 100, 0.004},
        {"more held than announced", Binary(100, 2, {1, 2, 3}), 2, {1, 2}, 100, 0.002},
        {"trailing odd byte", Binary(100, 10, {1, 2}) + Bytes({0x12}), 2, {1, 2}, 100, 0.002},
        {"no samples", Binary(100, 5, {}), 0, {}, 100, 0},
        {"rate 65535", Binary(65535, 1, {-1234}), 1, {-1234}, 65535, 1.234},
        {"2^31-1 announced in 10 bytes", Binary(100, INT_MAX, {7, -7}), 2, {7, -7}, 100, 0.007},
    };
    for (const Case& c : cases) {
        _EmptyRecording();
        g_fECGFileFreq = 0;
        g_fECGFileMax = 0;
        EXPECT_EQ(Bin(c.content), c.result) << c.what;
        EXPECT_EQ(LoadedValues(), c.values) << c.what;
        EXPECT_EQ(g_fECGFileFreq, c.rate) << c.what;
        EXPECT_DOUBLE_EQ(g_fECGFileMax, c.max) << c.what;
    }
}

// Samples crossing the loader's internal read size, with an odd split.
TEST_F(Loaders, BinaryLargeRecording) {
    std::vector<int16_t> samples(100003);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = DigitalSample(3, 0, static_cast<int>(i));
    }
    ASSERT_EQ(Bin(Binary(5000, static_cast<int32_t>(samples.size()), samples)), 100003);
    const std::vector<double> got = LoadedValues();
    double peak = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(got[i], std::clamp<double>(samples[i], -5000, 5000)) << i;
        peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
    }
    EXPECT_DOUBLE_EQ(g_fECGFileMax, std::min(peak / 1000, 5.0));
}

TEST_F(Loaders, BinaryFailures) {
    ExpectFailuresKeepOrEmpty(
        {
            {"empty", "", -2},
            {"one byte", Bytes({1}), -2},
            {"rate 0", Binary(0, 3, {1, 2, 3}), -2},
            {"rate 0, nothing else", Bytes({0, 0}), -2},
            {"five bytes", Bytes({0, 100, 0, 0, 0}), -3},
            {"count 0", Binary(100, 0, {1}), -3},
            {"count negative", Binary(100, -1, {1}), -4},
            {"count INT_MIN", Binary(100, INT_MIN, {}), -4},
        },
        LoadEEGbin, dir, Binary(10, 2, {5, 6}));
}

// What the file cannot hold is never allocated: with allocations limited to 1 GiB, a header announcing
// 2^31 - 1 samples still loads (a blind allocation would need 16 GiB and fail with -4).
TEST_F(Loaders, AllocationBoundedByTheFile) {
    const std::string bin = dir.Write("big.bin", Binary(100, INT_MAX, {1, 2, 3}));
    const std::string txt = dir.Write("big.txt", "100\n2147483647\n1\n2\n3\n");
    const std::string txt2 = dir.Write("bigger.txt", "100\n99999999999999\n1\n");
    LimitAllocations();
    EXPECT_EQ(LoadEEGbin(Wide(bin).c_str()), 3);
    EXPECT_EQ(LoadEEGtxt(Wide(txt).c_str()), 3);
    EXPECT_EQ(LoadEEGtxt(Wide(txt2).c_str()), 1);
}

TEST_F(Loaders, PathsThatCannotBeOpened) {
    EXPECT_EQ(LoadEEGtxt(nullptr), -1);
    EXPECT_EQ(LoadEEGbin(nullptr), -1);
    EXPECT_EQ(LoadEEGtxt(Wide(dir.Path("missing.txt")).c_str()), -1);
    EXPECT_EQ(LoadEEGbin(Wide(dir.Path("missing.bin")).c_str()), -1);
    EXPECT_EQ(LoadEEGtxt(L""), -1);
}

// Runs a load on a thread of its own. A load that has not returned within a generous bound is reported as
// hung and released by opening the FIFO it waits on for writing (and closing it again: end of file).
int LoadOrRelease(const std::function<int()>& load, const std::string& fifo) {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    int result = 0;
    std::thread loader([&] {
        const int r = load();
        std::lock_guard<std::mutex> lock(mu);
        result = r;
        done = true;
        cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(mu);
    if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; })) {
        ADD_FAILURE() << "the load hangs";
        lock.unlock();
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
        }
        lock.lock();
        cv.wait(lock, [&] { return done; });
    }
    lock.unlock();
    loader.join();
    return result;
}

// A path that is no regular file is refused at once with the cannot-open code, whatever the loader: a FIFO
// would hold the load (and every later one) until a writer came. The loaded recording stays.
TEST_F(Loaders, PathsThatAreNoRegularFileAreRefusedAtOnce) {
    const std::string fifo = dir.Path("r.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string fifoLink = dir.Path("fifo-link");
    ASSERT_EQ(symlink(fifo.c_str(), fifoLink.c_str()), 0);
    const std::string good = dir.Write("good.txt", "100\n3\n1\n2\n3\n");
    const std::string goodLink = dir.Path("good-link.txt");
    ASSERT_EQ(symlink(good.c_str(), goodLink.c_str()), 0);

    struct Path {
        const char* what;
        std::string path;
    };
    struct Loader {
        const char* name;
        std::function<int(const wchar_t*)> load;
    };
    const Path paths[] = {{"FIFO", fifo},
                          {"link to a FIFO", fifoLink},
                          {"directory", dir.Path("")},
                          {"character device", "/dev/null"}};
    const Loader loaders[] = {{"LoadEEGtxt", LoadEEGtxt},
                              {"LoadEEGbin", LoadEEGbin},
                              {"LoadEEGedf", [](const wchar_t* p) { return LoadEEGedf(p, 0); }}};
    for (const Path& p : paths) {
        for (const Loader& l : loaders) {
            SCOPED_TRACE(std::string(l.name) + " on a " + p.what);
            ASSERT_EQ(LoadEEGtxt(Wide(goodLink).c_str()), 3) << "a link to a regular file loads";
            const PlaybackState before = PlaybackState::Now();
            const std::wstring wide = Wide(p.path);
            EXPECT_EQ(LoadOrRelease([&] { return l.load(wide.c_str()); }, fifo), -1);
            const PlaybackState after = PlaybackState::Now();
            EXPECT_EQ(after.samples, before.samples);
            EXPECT_EQ(after.count, 3);
            EXPECT_EQ(after.rate, 100.0);
            EXPECT_EQ(after.Values(), (std::vector<double>{1, 2, 3}));
        }
    }
}

// A path needing 512 bytes or more is refused, not cut: cutting it at 511 bytes would name another file.
TEST_F(Loaders, LongPathsAreRefusedNotCut) {
    std::filesystem::path deep = dir.Path("");
    while (deep.string().size() < 300) {
        deep /= std::string(60, 'd');
    }
    std::filesystem::create_directories(deep);
    const std::string prefix = (deep / "").string();
    const std::string cut = prefix + std::string(511 - prefix.size(), 'x');
    const std::string longer = prefix + std::string(520 - prefix.size(), 'x');
    ASSERT_EQ(cut.size(), 511u);
    WriteAll(cut, "100\n1\n1\n");
    WriteAll(longer, "100\n2\n1\n2\n");
    ASSERT_TRUE(std::filesystem::exists(longer));
    EXPECT_EQ(LoadEEGtxt(Wide(cut).c_str()), 1);
    EXPECT_EQ(LoadEEGtxt(Wide(longer).c_str()), -1);
    EXPECT_EQ(LoadEEGbin(Wide(longer).c_str()), -1);
    EXPECT_EQ(LoadEEGedf(Wide(longer).c_str(), 0), -1);
}

// The path goes through the multibyte encoding of the current locale: a character it cannot encode refuses
// the path; in a UTF-8 locale the same path opens.
TEST_F(Loaders, PathConversionFollowsTheLocale) {
    const std::string utf8Path = dir.Path("caf\xC3\xA9.txt");
    WriteAll(utf8Path, "100\n1\n4\n");
    const std::wstring widePath = Wide(dir.Path("caf")) + L"\u00E9.txt";
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    EXPECT_EQ(LoadEEGtxt(widePath.c_str()), -1);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    EXPECT_EQ(LoadEEGtxt(widePath.c_str()), 1);
    std::setlocale(LC_CTYPE, "C");
}

TEST_F(Loaders, EnablePlayRawDataLoop) {
    EXPECT_TRUE(g_bPlayLoop);
    EXPECT_EQ(EnablePlayRawDataLoop(false), 0);
    EXPECT_FALSE(g_bPlayLoop);
    // Loading does not touch the flag.
    ASSERT_EQ(Txt("100\n1\n1\n"), 1);
    EXPECT_FALSE(g_bPlayLoop);
    EXPECT_EQ(EnablePlayRawDataLoop(true), 0);
    EXPECT_TRUE(g_bPlayLoop);
}

// Text in UTF-16LE with a byte-order mark (read by the Windows build): numbers parsed from the wide text.
TEST_F(Loaders, Utf16TextWhereEnabled) {
    auto utf16 = [](const std::string& ascii) {
        std::string s;
        for (char c : ascii) {
            s += c;
            s += '\0';
        }
        return s;
    };
    struct Case {
        const char* what;
        std::string content;
        int result;
        std::vector<double> values;
        double rate;
    };
    const Case cases[] = {
        {"CRLF", Bytes({0xFF, 0xFE}) + utf16("250\r\n3\r\n1.5\r\n-7000\r\n2\r\n"), 3, {1.5, -5000, 2}, 250},
        {"LF", Bytes({0xFF, 0xFE}) + utf16("100\n2\n1\n2\n"), 2, {1, 2}, 100},
        // The high byte of the last line feed is not a sample of its own.
        {"fewer samples than announced", Bytes({0xFF, 0xFE}) + utf16("100\n9\n1\n2\n"), 2, {1, 2}, 100},
        {"empty line is 0", Bytes({0xFF, 0xFE}) + utf16("100\n9\n1\n\n2\n"), 3, {1, 0, 2}, 100},
        {"no byte-order mark: narrow text", "100\n2\n1\n2\n", 2, {1, 2}, 100},
        {"non-ASCII ends a number",
         Bytes({0xFF, 0xFE}) + utf16("100\n1\n5") + Bytes({0x60, 0x22}) + utf16("7\n"),
         1,
         {5},
         100},
    };
    for (const Case& c : cases) {
        _EmptyRecording();
        FILE* f = std::fopen(dir.Write("u.txt", c.content).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(_LoadTextRecording(f, true), c.result) << c.what;
        EXPECT_EQ(LoadedValues(), c.values) << c.what;
        EXPECT_EQ(g_fECGFileFreq, c.rate) << c.what;
    }
    // Without UTF-16 support the byte-order mark is no number.
    FILE* f = std::fopen(dir.Write("u.txt", Bytes({0xFF, 0xFE}) + utf16("100\n1\n1\n")).c_str(), "rb");
    EXPECT_EQ(_LoadTextRecording(f, false), -2);
}

// Loads from several threads run one at a time: each published recording is whole, never a mix.
TEST_F(Loaders, ConcurrentLoadsPublishWholeRecordings) {
    std::string a = "100\n300\n";
    std::string b = "200\n500\n";
    for (int i = 0; i < 300; ++i) {
        a += "1\n";
    }
    for (int i = 0; i < 500; ++i) {
        b += "-2\n";
    }
    const std::wstring pa = Wide(dir.Write("a.txt", a));
    const std::wstring pb = Wide(dir.Write("b.txt", b));
    const std::wstring pc = Wide(dir.Write("c.bin", Binary(300, 3, {3, 3, 3})));
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                const int r = t == 0   ? LoadEEGtxt(pa.c_str())
                              : t == 1 ? LoadEEGtxt(pb.c_str())
                                       : LoadEEGbin(pc.c_str());
                EXPECT_EQ(r, t == 0 ? 300 : t == 1 ? 500 : 3);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    const PlaybackState s = PlaybackState::Now();
    const std::vector<double> v = s.Values();
    ASSERT_FALSE(v.empty());
    const double first = v[0];
    for (double x : v) {
        ASSERT_EQ(x, first);
    }
    if (first == 1) {
        EXPECT_EQ(s.count, 300);
        EXPECT_EQ(s.rate, 100);
    } else if (first == -2) {
        EXPECT_EQ(s.count, 500);
        EXPECT_EQ(s.rate, 200);
    } else {
        EXPECT_EQ(first, 3);
        EXPECT_EQ(s.count, 3);
        EXPECT_EQ(s.rate, 300);
    }
}

// A reader that holds the packet builder's lock, as the packet stream does, always sees a whole recording:
// pointer, count, rate and peak of one load together. The thread-sanitizer build also sees any unlocked
// access, the loop flag's included.
TEST_F(Loaders, PacketBuilderSeesWholeRecordings) {
    std::string a = "100\n300\n";
    std::string b = "200\n500\n";
    for (int i = 0; i < 300; ++i) {
        a += "1000\n";
    }
    for (int i = 0; i < 500; ++i) {
        b += "-2000\n";
    }
    const std::wstring pa = Wide(dir.Write("a.txt", a));
    const std::wstring pb = Wide(dir.Write("b.txt", b));
    ASSERT_EQ(LoadEEGtxt(pa.c_str()), 300);
    std::atomic<bool> done{false};
    std::atomic<int> inconsistent{0};
    std::atomic<int> reads{0};
    std::atomic<int> loops{0};
    std::thread builder([&] {
        while (!done.load()) {
            CAutoCriticalSection lock(g_APICriticalSection);
            const bool isA = g_nECGFileSize == 300 && g_fECGFileFreq == 100 && g_fECGFileMax == 1.0;
            const bool isB = g_nECGFileSize == 500 && g_fECGFileFreq == 200 && g_fECGFileMax == 2.0;
            const double expected = isA ? 1000 : -2000;
            bool whole = (isA || isB) && g_pECGFile != nullptr;
            for (int i = 0; whole && i < g_nECGFileSize; ++i) {
                whole = g_pECGFile[i] == expected;
            }
            inconsistent += whole ? 0 : 1;
            loops += g_bPlayLoop ? 1 : 0;
            ++reads;
        }
    });
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(LoadEEGtxt(i % 2 == 0 ? pb.c_str() : pa.c_str()), i % 2 == 0 ? 500 : 300);
        EXPECT_EQ(EnablePlayRawDataLoop(i % 3 == 0), 0);
    }
    while (reads.load() < 10) {
        std::this_thread::yield();
    }
    done = true;
    builder.join();
    EXPECT_EQ(inconsistent.load(), 0);
}

// ---- Numbers mean the same whatever locale the application set ------------------------------------------

// Switches LC_ALL to a locale with a decimal comma: an installed one, or one generated with localedef into a
// private directory. Empty when neither works.
std::string UseDecimalCommaLocale(const TempDir& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
            return name;
        }
    }
    const std::string root = dir.Path("locales");
    std::filesystem::create_directories(root);
    // A single-byte character set: much quicker to generate than UTF-8.
    const std::string cmd = "localedef -i de_DE -f ISO-8859-1 " + root + "/de_DE.ISO-8859-1 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        return "";
    }
    setenv("LOCPATH", root.c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.ISO-8859-1") != nullptr && std::localeconv()->decimal_point[0] == ',') {
        return "de_DE.ISO-8859-1 (generated)";
    }
    return "";
}

TEST_F(Loaders, DecimalCommaLocaleDoesNotChangeNumbers) {
    const std::string txt = dir.Write("l.txt", "0.5\n3\n1.25\n-2.5e3\n7000.5\n");
    EdfSpec spec;
    spec.records = 1;
    spec.duration = "1";
    spec.signals[0].samplesPerRecord = 2;
    spec.signals[0].physicalMin = "-0.5";
    spec.signals[0].physicalMax = "0.5";
    spec.signals[0].digitalMin = "-1000";
    spec.signals[0].digitalMax = "1000";
    std::string edf = EdfHeader(spec) + Bytes({0xE8, 0x03, 0xF4, 0x01}); // 1000, 500
    const std::string edfPath = dir.Write("l.edf", edf);

    const std::string locale = UseDecimalCommaLocale(dir);
    if (locale.empty()) {
        GTEST_SKIP() << "no decimal-comma locale installed and localedef could not make one";
    }
    // The C library now reads "0.5" as 0: the test really runs under a decimal comma.
    ASSERT_EQ(std::atof("0.5"), 0.0) << locale;

    EXPECT_EQ(LoadEEGtxt(Wide(txt).c_str()), 3) << locale;
    EXPECT_EQ(g_fECGFileFreq, 0.5);
    EXPECT_EQ(LoadedValues(), (std::vector<double>{1.25, -2500, 5000}));
    EXPECT_DOUBLE_EQ(g_fECGFileMax, 5.0);

    EXPECT_EQ(LoadEEGedf(Wide(edfPath).c_str(), 0), 2);
    const std::vector<double> v = LoadedValues();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(v[0], 0.5, 1e-6);
    EXPECT_NEAR(v[1], 0.25, 1e-6);
    std::setlocale(LC_ALL, "C");
}

} // namespace
