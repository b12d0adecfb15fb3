#include "jobs/job_intake.h"

#include <gtest/gtest.h>

namespace {

TEST(JobIntake, OnlyNamesEndingInPrnInAnyCaseAreJobs) {
    struct Case {
        const char* name;
        bool prn;
        bool bmp;
    };
    const Case cases[] = {
        {"a.prn", true, false},     {"sub/A.PRN", true, false},  {"b.Prn", true, false},
        {".prn", true, false},      {"a.prn.tmp", false, false}, {"a.pr", false, false},
        {"prn", false, false},      {"", false, false},          {"a.BMP", false, true},
        {"a.bmp.prn", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(has_prn_extension(c.name), c.prn) << c.name;
        EXPECT_EQ(has_bmp_extension(c.name), c.bmp) << c.name;
    }
}

TEST(JobIntake, ChangesLeaveInOrderAndTheScratchRecordStaysEmpty) {
    append_hot_folder_change("/jobs/a.prn", kChangeAppeared);
    append_hot_folder_change("/jobs/a.prn", kChangeGone);
    EXPECT_TRUE(g_hot_folder_change.path.empty());
    EXPECT_TRUE(g_hot_folder_change.code.empty());
    EXPECT_TRUE(hot_folder_changes_waiting());
    auto first = take_hot_folder_change();
    auto second = take_hot_folder_change();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->code, kChangeAppeared);
    EXPECT_EQ(second->code, kChangeGone);
    EXPECT_FALSE(take_hot_folder_change());
    EXPECT_FALSE(hot_folder_changes_waiting());
}

TEST(JobIntake, PendingPathsRemoveTheFirstExactMatchAndTheCountNeverGoesNegative) {
    append_pending_job("/jobs/a.prn");
    append_pending_job("/jobs/b.prn");
    append_pending_job("/jobs/a.prn");
    EXPECT_EQ(g_pending_job_count, 3);
    EXPECT_FALSE(remove_pending_job("/jobs/A.prn"));
    EXPECT_TRUE(remove_pending_job("/jobs/a.prn"));
    EXPECT_EQ(g_pending_job_paths, (std::deque<std::string>{"/jobs/b.prn", "/jobs/a.prn"}));
    EXPECT_EQ(g_pending_job_count, 2);
    // A count already at 0 while paths stand (set by hand) stays at 0.
    g_pending_job_count = 0;
    pop_pending_job();
    EXPECT_EQ(g_pending_job_count, 0);
    EXPECT_EQ(g_pending_job_paths, (std::deque<std::string>{"/jobs/a.prn"}));
    pop_pending_job();
    pop_pending_job();
    EXPECT_TRUE(g_pending_job_paths.empty());
}

}  // namespace
