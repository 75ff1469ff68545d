// One run of `qolt --virtual --fast ... --json` with all three capture files, and the checks every such run
// must pass: the JSON parses, the EDF read back by EDFlib holds the samples of the CSV (the decoded
// samples), and the SVG is well-formed XML with the plotted path.
#pragma once

#include "CaptureReaders.h"
#include "CliTestSupport.h"
#include "sim/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace clitest {

struct CaptureRun {
    RunResult result;
    std::string edf, csv, svg;
    std::vector<CsvRow> rows;                           // from the CSV
    std::vector<double> samples;                        // sample values of the CSV, in order
    std::vector<std::pair<double, std::string>> events; // annotation rows: time, text
};

class QoltRunTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path() + "/" + name; }

    // Runs qolt with `args` plus --json and the three capture files named after `base`.
    CaptureRun RunWithCaptures(std::vector<std::string> args, const std::string& base = "run") {
        CaptureRun run;
        run.edf = Path(base + ".edf");
        run.csv = Path(base + ".csv");
        run.svg = Path(base + ".svg");
        args.insert(args.end(), {"--json", "--capture", run.edf, "--capture", run.csv, "--plot", run.svg});
        run.result = Qolt(args);
        if (run.result.exitCode == 0) {
            run.rows = ReadCsv(run.csv);
            for (const CsvRow& r : run.rows) {
                if (r.isSample) {
                    run.samples.push_back(r.value);
                } else {
                    run.events.emplace_back(r.time, r.event);
                }
            }
        }
        return run;
    }

    std::string Query(const std::string& json, const std::string& expression) const {
        return JsonQuery(dir_.Path(), json, expression);
    }

    // The checks every capture run passes.
    void CheckCaptures(const CaptureRun& run) const {
        ASSERT_EQ(run.result.exitCode, 0) << Describe(run.result);
        EXPECT_EQ(Query(run.result.out, "d['capture']['samples'] > 0"), "True") << run.result.out;
        ASSERT_FALSE(run.samples.empty());

        const EdfContent e = ReadEdf(run.edf);
        ASSERT_EQ(e.openError, 0) << "EDFlib refused " << run.edf;
        EXPECT_EQ(e.fileType, EDFLIB_FILETYPE_EDFPLUS);
        // The CSV's samples, each repeated for its duration on the EDF's grid.
        std::vector<double> want;
        const bool tenKilohertz = e.rate > 7500.0;
        for (const CsvRow& r : run.rows) {
            if (r.isSample) {
                const int repeat = tenKilohertz && r.shortSample == 0 ? 2 : 1;
                want.insert(want.end(), static_cast<size_t>(repeat), r.value);
            }
        }
        ASSERT_GE(e.samples.size(), want.size());
        EXPECT_LE(e.samples.size(), want.size() + static_cast<size_t>(e.rate)) << "at most one record filled";
        for (size_t i = 0; i < want.size(); ++i) {
            // The CSV prints 10 significant digits.
            ASSERT_NEAR(e.samples[i], want[i], e.bitValue / 2 + 1e-7 * std::max(1.0, std::abs(want[i]))) << i;
        }
        // Every annotation of the CSV is in the EDF, at the same time.
        std::vector<std::pair<long long, std::string>> csvEvents;
        for (const auto& ev : run.events) {
            csvEvents.emplace_back(std::llround(ev.first * 10000.0) * 1000, ev.second);
        }
        std::vector<std::pair<long long, std::string>> edfEvents;
        for (const auto& a : e.annotations) {
            if (a.second != "capture end") {
                edfEvents.push_back(a);
            }
        }
        std::sort(csvEvents.begin(), csvEvents.end());
        std::sort(edfEvents.begin(), edfEvents.end());
        EXPECT_EQ(edfEvents, csvEvents);

        const RunResult svg = Python(
            "import sys, xml.etree.ElementTree as ET\n"
            "root = ET.parse(sys.argv[1]).getroot()\n"
            "p = [e for e in root.iter('{http://www.w3.org/2000/svg}path') if e.get('id') == 'trace']\n"
            "print(len(p), len(p[0].get('d').split()) if p else 0)\n",
            run.svg);
        ASSERT_EQ(svg.exitCode, 0) << svg.err;
        const size_t space = svg.out.find(' ');
        EXPECT_EQ(svg.out.substr(0, space), "1") << svg.out;
        EXPECT_GT(std::atoi(svg.out.c_str() + space + 1), 10) << "the path has the plotted points";
    }

    qoltsim::TempDir dir_{"qolt-cli-test"};
};

inline double MaxOf(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}
inline double MinOf(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

} // namespace clitest
