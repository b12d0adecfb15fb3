// The common main of the test programs: a skip passes, unless VELQUORIN_TEST_NO_SKIP says that
// nothing a test needs may be missing (as on CI); then it fails.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "scoped_env.h"

namespace {

TEST(TestMain, ASkipFailsWhereNothingMayBeMissing) {
    struct Case {
        const char* no_skip;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {nullptr, 0, "[  SKIPPED ] SkipProbe.Skips"},
        {"0", 0, "[  SKIPPED ] SkipProbe.Skips"},
        {"1", 1, "[  FAILED  ] SkipProbe.Skips"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.no_skip != nullptr ? c.no_skip : "unset");
        test_support::ScopedEnv no_skip("VELQUORIN_TEST_NO_SKIP", c.no_skip);
        FILE* probe = popen(VELQUORIN_SKIP_PROBE " 2>&1", "r");
        ASSERT_NE(probe, nullptr);
        std::string said;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, probe) != nullptr) {
            said += buffer;
        }
        const int status = pclose(probe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
}

}  // namespace
