// A read that fails in the middle of a print file (a damaged disk, a file system gone) is no
// end of the file: the preview, the ink and the time estimates end as they do for a file that
// cannot be read, never with what they counted before it as their result.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "analysis/file_reads.h"
#include "analysis/ink_estimate.h"
#include "analysis/preview_builder.h"
#include "analysis/print_time_estimate.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::PrnBuilder;
using test_support::TempDir;

struct Analysis {
    const char* name;
    // The refusal's text; empty when the analysis gave its result.
    std::function<std::string(const std::string& path)> run;
    const char* cannot_read;
};

std::string time_refusal(const std::string& path, TimeEstimator which) {
    PrintTimeEstimator estimator;
    PrintTimeOptions options;
    options.estimator = which;
    const PrintTimeResult result = estimator.estimate(path, options);
    return result.ok ? std::string() : result.message;
}

const Analysis kAnalyses[] = {
    {"preview",
     [](const std::string& path) {
         const PreviewResult result = build_preview(path);
         return result.failure == PreviewFailure::None ? std::string() : result.message;
     },
     "Print file can't read."},
    {"ink",
     [](const std::string& path) {
         const InkEstimate estimate = estimate_ink(path, "N/A");
         return estimate.ok ? std::string() : estimate.message;
     },
     "Print file can't read."},
    {"time dialog",
     [](const std::string& path) { return time_refusal(path, TimeEstimator::Dialog); },
     "Print file can't read. Please try again later!"},
    {"time list", [](const std::string& path) { return time_refusal(path, TimeEstimator::List); },
     "Print file can't read. Please try again later!"},
};

class ReadErrors : public ::testing::Test {
  protected:
    void TearDown() override { analysis::file_reads_detail::fail_reads_from(-1); }
};

TEST_F(ReadErrors, EachAnalysisEndsAsForAFileThatCannotBeRead) {
    TempDir dir;
    const std::string path = (dir / "job.prn").string();
    // Blank but for its last lines, so that the time estimate too reads every byte before them.
    constexpr std::uint32_t kRowBytes = 300;
    constexpr std::uint32_t kLines = 2000;
    PrnBuilder(kRowBytes, kLines).solid(PRN_PLANE_BLACK, kLines - 8, 8, 0, kRowBytes).write(path);
    constexpr std::int64_t kLineBytes = std::int64_t{kRowBytes} * kPrnPlaneCount;
    const struct {
        const char* where;
        std::int64_t offset;
    } damages[] = {
        {"the header", 0},
        {"the header's end", 100},
        {"the first line", kPrnHeaderSize},
        {"the middle", kPrnHeaderSize + kLineBytes * (kLines / 2) + 7},
    };
    for (const Analysis& analysis : kAnalyses) {
        SCOPED_TRACE(analysis.name);
        EXPECT_EQ(analysis.run(path), "") << "the whole file reads";
        for (const auto& damage : damages) {
            analysis::file_reads_detail::fail_reads_from(damage.offset);
            EXPECT_EQ(analysis.run(path), analysis.cannot_read) << damage.where;
            analysis::file_reads_detail::fail_reads_from(-1);
        }
    }
}

}  // namespace
