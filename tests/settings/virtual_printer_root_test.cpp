// The virtual-printer set-up run as root, which the operator's tests cannot show: the hot
// folders root makes would take no job, since the backend never writes as root.
#include <gtest/gtest.h>
#include <unistd.h>

#include "scripted_spooler.h"

namespace {

using test_support::VirtualPrinterSetupTest;

TEST_F(VirtualPrinterSetupTest, HotFoldersOfRootTakeNoJobAndStopTheSetUp) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root makes folders of root (CI runs this program as root)";
    }
    ASSERT_EQ(::lchown(hot_folder("ww").c_str(), 0, 0), 0);
    const settings::SetupOutcome outcome = run();
    EXPECT_EQ(outcome.code, kSetupSaveFolderNotSet);
    EXPECT_NE(outcome.detail.find("VirtualHotFolder/ww belongs to root; run Velquorin as the "
                                  "operator"),
              std::string::npos)
        << outcome.detail;
    EXPECT_TRUE(spooler_.added.empty());
}

}  // namespace
